// The playback driver: start-up, the command line, replaying the script,
// the run summary and shutdown.
#pragma once

namespace glowreel {

// Runs the whole program; returns the process exit status: 0 after a run,
// 1 when something failed (said on stderr), 2 after the usage line.
int RunPlayer(int argc, char** argv);

}  // namespace glowreel
