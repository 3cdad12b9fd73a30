#!/bin/bash
# The Windows build under Wine, checked against the Linux build.
#
# Builds the windows preset (32-bit glowreel.exe) and the stand-in port-I/O
# DLLs, then runs glowreel.exe under Wine in a throw-away prefix:
#  - for each script case, the stand-in DLL's record of SetPortVal calls and
#    the Windows trace must equal the Linux build's trace, and stdout must be
#    the Linux stdout with CR LF line ends (the Time value aside);
#  - a missing DLL, a DLL without SetPortVal and a failing InitializeWinIo
#    must each end with one error line, exit status 1 and no port write.
# The Linux build (build/glowreel, or $GLOWREEL_LINUX) must already be built.
#
# A machine that cannot run 32-bit code (some virtual machines) cannot run
# 32-bit Wine; there the same sources are built for 64-bit Windows and run
# under 64-bit Wine instead, and the 32-bit build is only built and checked
# for its DLL imports. GLOWREEL_WINE_ARCH=i686 or x86_64 overrides the choice.
#
# Prints one line per case and ends with "windows: N passed, N failed".
# GLOWREEL_KEEP=1 keeps the cases' folders for a look afterwards.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$ROOT/tests/windows
LINUX=${GLOWREEL_LINUX:-$ROOT/build/glowreel}
JOBS=${GLOWREEL_JOBS:-2}

passed=0
failed=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }
finish() {
  echo "windows: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

WORK=$(mktemp -d "${TMPDIR:-/tmp}/glowreel-windows.XXXXXX")
export WINEPREFIX=$WORK/prefix
cleanup() {
  if [ -d "$WINEPREFIX" ] && [ -n "${WINESERVER:-}" ]; then "$WINESERVER" -k >/dev/null 2>&1; fi
  if [ -n "${GLOWREEL_KEEP:-}" ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# --- which Wine ----------------------------------------------------------

ARCH=${GLOWREEL_WINE_ARCH:-}
if [ -z "$ARCH" ]; then
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then ARCH=i686; else ARCH=x86_64; fi
fi
case $ARCH in
  i686)
    WINE=$(command -v wine || true)
    MINGW=i686-w64-mingw32
    ;;
  x86_64)
    echo "note: this machine cannot run 32-bit code; the cases run the 64-bit build of the same sources"
    WINE=$(command -v wine64 || true)
    [ -z "$WINE" ] && [ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
    MINGW=x86_64-w64-mingw32
    ;;
  *)
    echo "GLOWREEL_WINE_ARCH must be i686 or x86_64" >&2
    exit 2
    ;;
esac
WINESERVER=$(command -v wineserver || true)
[ -z "$WINESERVER" ] && [ -x /usr/lib/wine/wineserver ] && WINESERVER=/usr/lib/wine/wineserver

# --- builds --------------------------------------------------------------

cd "$ROOT" || exit 1
if cmake --preset windows >"$WORK/build.log" 2>&1 && cmake --build --preset windows -j "$JOBS" --target glowreel >>"$WORK/build.log" 2>&1; then
  pass "build: windows preset"
else
  tail -n 30 "$WORK/build.log"
  fail "build: windows preset" "see the log above"
  finish
fi

# Only Windows' own DLLs: the runtimes are linked in.
imports=$(i686-w64-mingw32-objdump -p build-windows/glowreel.exe | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
if [ -n "$imports" ] && ! echo "$imports" | grep -qiE 'lib(gcc|stdc|winpthread)'; then
  pass "build: glowreel.exe imports only system DLLs ($imports)"
else
  fail "build: glowreel.exe imports only system DLLs" "imports: $imports"
fi

EXE=$ROOT/build-windows/glowreel.exe
if [ "$ARCH" = x86_64 ]; then
  EXE=$ROOT/build-windows-x64/glowreel.exe
  if cmake -S "$ROOT" -B "$ROOT/build-windows-x64" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DGLOWREEL_TESTS=OFF >>"$WORK/build.log" 2>&1 &&
    cmake --build "$ROOT/build-windows-x64" -j "$JOBS" --target glowreel >>"$WORK/build.log" 2>&1; then
    pass "build: 64-bit glowreel.exe"
  else
    tail -n 30 "$WORK/build.log"
    fail "build: 64-bit glowreel.exe" "see the log above"
    finish
  fi
fi

# The stand-in DLLs, each in a folder of its own beside a copy of the program.
DLLCC="$MINGW-gcc-posix -O2 -Wall -Wextra -shared"
stand_in() {  # folder dll-name extra-compiler-arguments...
  local folder=$WORK/$1 name=$2
  shift 2
  mkdir -p "$folder" && cp "$EXE" "$folder/" || return 1
  [ "$name" = - ] || $DLLCC -o "$folder/$name" "$HERE/fake_winio.c" "$@" >>"$WORK/build.log" 2>&1
}
# Exported only under the names a 32-bit stdcall build may give them.
at0='' at12=''
[ "$ARCH" = i686 ] && at0=@0 at12=@12
printf 'EXPORTS\n_InitializeWinIo@0=InitializeWinIo%s\n_ShutdownWinIo@0=ShutdownWinIo%s\n_SetPortVal@12=SetPortVal%s\n' \
  "$at0" "$at0" "$at12" >"$WORK/decorated.def"
if stand_in winio32 WinIo32.dll -Wl,--kill-at &&
  stand_in winio WinIo.dll -Wl,--kill-at &&
  stand_in nodll - &&
  stand_in noset WinIo32.dll -Wl,--kill-at -DFAKE_WINIO_NO_SETPORTVAL &&
  stand_in named porty.dll -Wl,--kill-at &&
  stand_in decorated WinIo32.dll -DEXPORT= "$WORK/decorated.def"; then
  pass "build: stand-in port-I/O DLLs"
else
  tail -n 30 "$WORK/build.log"
  fail "build: stand-in port-I/O DLLs" "see the log above"
  finish
fi
rm "$WORK/named/glowreel.exe"  # only the DLL is used from there

if [ ! -x "$LINUX" ]; then
  fail "linux build" "$LINUX is missing; build the default preset first"
  finish
fi
if [ -z "$WINE" ] || [ -z "$WINESERVER" ]; then
  fail "wine" "not installed (tests/windows/install-deps.sh installs it)"
  finish
fi

# --- Wine ----------------------------------------------------------------

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko prompts in the new prefix
unset GLOWREEL_PORT FAKE_WINIO_CALLS FAKE_WINIO_INIT FAKE_WINIO_SETPORTVAL
mkdir -p "$WINEPREFIX"
if ! timeout 180 "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1; then
  tail -n 20 "$WORK/wineboot.log"
  fail "wine: prefix" "wineboot failed or took over 180 s"
  finish
fi

# --- frames and scripts ----------------------------------------------------

FRAMES=$WORK/frames
mkdir -p "$FRAMES/adir"
bmp_header() {
  printf 'BM\076\004\0\0\0\0\0\0\076\0\0\0'                 # file header: 1086 bytes, pixels at 62
  printf '\050\0\0\0\200\0\0\0\100\0\0\0\001\0\001\0'       # 40-byte info header: 128 x 64, 1 bit
  printf '\0\0\0\0\0\004\0\0\0\0\0\0\0\0\0\0\002\0\0\0\0\0\0\0'
  printf '\0\0\0\0\377\377\377\0'                           # palette: black, white
}
repeat() {  # count bytes-as-printf-format
  local i
  for ((i = 0; i < $1; ++i)); do printf "$2"; done
}
{ bmp_header; repeat 512 '\125\252'; } >"$FRAMES/a.bmp"
{ bmp_header; for ((i = 0; i < 1024; ++i)); do printf "\\$(printf %o $(((i * 37) & 255)))"; done; } >"$FRAMES/b.bmp"
# Bytes that text-mode reading would change: 0x1A, CR LF, a lone LF.
{ bmp_header; repeat 256 '\032\015\012\360'; } >"$FRAMES/c.bmp"
# Shorter than a frame: what it has is shown over the previous frame's rest.
head -c 700 "$FRAMES/b.bmp" >"$FRAMES/short.bmp"

# name | script bytes (printf format)
SCRIPTS=$(
  cat <<'EOF'
two-frames-twice|2\n3\na.bmp\nb.bmp\n
crlf-lines|2\r\n2\r\na.bmp\r\nb.bmp\r\nc.bmp
eof-mark|2\n0\na.bmp\n\032b.bmp\n
lone-cr|1\n0\na.bmp\rb.bmp\nb.bmp\nc.bmp\r
empty-lines|2\n0\na.bmp\n\nb.bmp\n\n
not-frames|1\n1\nmissing.bmp\nadir\nNUL\nCON\na.bmp\n
binary-frame-bytes|1\n0\nc.bmp\nshort.bmp\n
repeat-zero|0\n5\na.bmp\n
repeat-negative|-3\n5\na.bmp\n
negative-delay|2\n-5\na.bmp\n
only-line-1|3
numbers-by-atoi| +2xyz\n  1ms\na.bmp\n
EOF
)

case_dir() {  # name -> a fresh folder with the frames
  local dir=$WORK/cases/$1
  mkdir -p "$dir" && cp -r "$FRAMES/." "$dir/" && echo "$dir"
}

run_linux() {  # dir setting args... -> linux.{out,err,rc}
  local dir=$1 setting=$2
  shift 2
  (cd "$dir" && GLOWREEL_PORT=$setting timeout 60 "$LINUX" "$@" >linux.out 2>linux.err; echo $? >linux.rc)
}

run_windows() {  # dir bin-folder setting args... -> win.{out,err,rc}; setting "-" leaves it unset
  local dir=$1 bin=$2 setting=$3
  shift 3
  (
    cd "$dir" || exit
    [ "$setting" = - ] || export GLOWREEL_PORT=$setting
    export FAKE_WINIO_CALLS=calls.txt
    timeout 60 "$WINE" "$WORK/$bin/glowreel.exe" "$@" >win.out 2>win.err
    echo $? >win.rc
  )
}

# Linux output as Windows writes it: CR LF line ends; the Time value varies.
windows_form() { perl -pe 's/^Time \d+/Time T/; s/\n/\r\n/' "$1"; }
time_free() { perl -pe 's/^Time \d+/Time T/' "$1"; }

# Compares one Windows run with the Linux run in the same folder; prints why
# they differ, or nothing.
differences() {  # dir check-calls check-trace
  local dir=$1
  [ "$(cat "$dir/win.rc")" = "$(cat "$dir/linux.rc")" ] ||
    echo "exit status $(cat "$dir/win.rc"), Linux $(cat "$dir/linux.rc")"
  cmp -s <(time_free "$dir/win.out") <(windows_form "$dir/linux.out") ||
    echo "stdout differs: $(od -c "$dir/win.out" | head -n 3 | tr -s ' \n' ' ')"
  cmp -s <(tr -d '\r' <"$dir/win.err") "$dir/linux.err" || echo "stderr differs: $(head -c 300 "$dir/win.err")"
  if [ "$2" = calls ]; then
    cmp -s "$dir/calls.txt" <(grep -v '^sleep ' "$dir/linux.trace") ||
      echo "SetPortVal calls differ from the Linux trace ($(wc -l <"$dir/calls.txt" 2>/dev/null) lines)"
  fi
  if [ "$3" = trace ]; then
    cmp -s "$dir/win.trace" "$dir/linux.trace" || echo "the Windows trace differs from the Linux trace"
  fi
}

verdict() {  # name why
  if [ -z "$2" ]; then pass "$1"; else fail "$1" "$(echo "$2" | head -n 3 | tr '\n' ';')"; fi
}

# --- the script cases: the stand-in DLL and the trace at once ---------------

while IFS='|' read -r name script; do
  dir=$(case_dir "$name")
  printf -- "$script" >"$dir/ani.txt"
  run_linux "$dir" trace:linux.trace ani.txt
  run_windows "$dir" winio32 winio+trace:win.trace ani.txt
  verdict "script: $name" "$(differences "$dir" calls trace)"
done <<<"$SCRIPTS"

# No script argument: the usage line after the whole start-up.
dir=$(case_dir no-argument)
run_linux "$dir" trace:linux.trace
run_windows "$dir" winio32 winio+trace:win.trace
verdict "script: no argument" "$(differences "$dir" calls trace)"

dir=$(case_dir missing-script)
run_linux "$dir" trace:linux.trace nosuch.txt
run_windows "$dir" winio32 winio+trace:win.trace nosuch.txt
verdict "script: missing script file" "$(differences "$dir" calls trace)"

# --- how the DLL is found ----------------------------------------------------

TWO='2\n1\na.bmp\nb.bmp\n'
windows_path() { echo "Z:$1" | tr / '\\'; }  # Wine's Z: is the Linux root
while IFS='|' read -r name bin setting; do
  dir=$(case_dir "dll-$name")
  printf "$TWO" >"$dir/ani.txt"
  run_linux "$dir" trace:linux.trace ani.txt
  run_windows "$dir" "$bin" "$setting" ani.txt
  verdict "dll: $name" "$(differences "$dir" calls -)"
done <<EOF
WinIo32.dll beside the program, by default|winio32|-
WinIo.dll when there is no WinIo32.dll|winio|-
winio:PATH names the DLL|nodll|winio:$(windows_path "$WORK/named/porty.dll")
only stdcall-decorated export names|decorated|-
EOF

# The trace kind needs no DLL.
dir=$(case_dir trace-only)
printf "$TWO" >"$dir/ani.txt"
run_linux "$dir" trace:linux.trace ani.txt
run_windows "$dir" nodll trace:win.trace ani.txt
verdict "trace kind without a DLL" "$(differences "$dir" - trace)"

# The screen kind draws on a console in virtual-terminal mode; Wine gives
# the program one on a pseudo-terminal from script(1).
if command -v script >/dev/null; then
  dir=$(case_dir screen)
  printf "$TWO" >"$dir/ani.txt"
  run_linux "$dir" trace:linux.trace ani.txt
  (cd "$dir" && GLOWREEL_PORT=screen+trace:win.trace timeout 60 script -qec \
    "stty cols 140 rows 50; '$WINE' '$WORK/nodll/glowreel.exe' ani.txt" typescript >/dev/null 2>&1)
  why=$(cmp -s "$dir/win.trace" "$dir/linux.trace" || echo "the trace differs from the Linux trace; ")
  # Half blocks in the 24-bit colours of lit dots.
  grep -q $'\e\\[38;2;80;240;200' "$dir/typescript" || why+="no dots drawn on the console"
  verdict "screen kind on the console" "$why"
fi

# --- failures: one line, exit status 1, nothing played ------------------------

# name | bin | setting | FAKE_WINIO_INIT | words the message must hold
while IFS='|' read -r name bin setting init words; do
  dir=$(case_dir "fail-$name")
  printf "$TWO" >"$dir/ani.txt"
  FAKE_WINIO_INIT=$init run_windows "$dir" "$bin" "$setting" ani.txt
  why=""
  [ "$(cat "$dir/win.rc")" = 1 ] || why+="exit status $(cat "$dir/win.rc"); "
  [ ! -s "$dir/win.out" ] || why+="played: $(head -c 100 "$dir/win.out"); "
  lines=$(tr -d '\r' <"$dir/win.err" | wc -l)
  [ "$lines" = 1 ] && grep -q '^glowreel: cannot open ' "$dir/win.err" ||
    why+="not one error line: $(head -c 300 "$dir/win.err"); "
  for word in $words; do grep -qi -- "$word" "$dir/win.err" || why+="no '$word' in the message; "; done
  calls=$(cat "$dir/calls.txt" 2>/dev/null | tr '\n' ' ')
  case $name in
    init-false) [ "$calls" = "refused " ] || why+="calls: $calls; " ;;
    *) [ -z "$calls" ] || why+="calls: $calls; " ;;
  esac
  verdict "error: $name" "$why"
done <<EOF
dll-missing|nodll|-||WinIo32.dll WinIo.dll beside
named-dll-missing|winio32|winio:nosuch.dll||nosuch.dll
no-setportval|noset|-||SetPortVal
init-false|winio32|-|fail|InitializeWinIo administrator driver memory.integrity
EOF

# SetPortVal returning false: the run goes on and ends reporting it.
dir=$(case_dir fail-writes)
printf "$TWO" >"$dir/ani.txt"
FAKE_WINIO_SETPORTVAL=fail run_windows "$dir" winio32 - ani.txt
why=""
[ "$(cat "$dir/win.rc")" = 1 ] || why+="exit status $(cat "$dir/win.rc"); "
grep -q 'writes to winio failed' "$dir/win.err" || why+="stderr: $(head -c 200 "$dir/win.err"); "
tail -n 1 "$dir/calls.txt" 2>/dev/null | grep -qx close || why+="the DLL was not shut down; "
verdict "error: SetPortVal fails" "$why"

# A GLOWREEL_PORT that names no kind lists this build's kinds.
dir=$(case_dir fail-setting)
run_windows "$dir" nodll ppdev:/dev/parport0 ani.txt
why=""
[ "$(cat "$dir/win.rc")" = 2 ] || why+="exit status $(cat "$dir/win.rc"); "
grep -q 'use winio\[:PATH\], trace:FILE' "$dir/win.err" || why+="stderr: $(head -c 300 "$dir/win.err"); "
verdict "error: a port kind Windows does not have" "$why"

finish
