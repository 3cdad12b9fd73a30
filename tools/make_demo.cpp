// make_demo: renders the bundled demo animation for a 128x64 dot VFD.
//
// Usage: make_demo OUTDIR
// Writes OUTDIR/frames/NNN.bmp (1-bit, 128x64, bottom-up) and OUTDIR/ani.txt.
// Output is fully deterministic: no clocks, no random seeds.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int W = 128;
constexpr int H = 64;
constexpr int kDelayMs = 40;
constexpr double kPi = std::numbers::pi;

// true = lit dot; indexed [y][x] with y = 0 at the top of the picture.
using Frame = std::array<std::array<bool, W>, H>;

// ---------------------------------------------------------------- drawing

void set(Frame& fb, int x, int y, bool on = true) {
    if (x >= 0 && x < W && y >= 0 && y < H) fb[y][x] = on;
}

void line(Frame& fb, int x0, int y0, int x1, int y1) {
    // Bresenham, all octants.
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        set(fb, x0, y0);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x0 += sx; }
        if (e2 <= dx) { err += dx; y0 += sy; }
    }
}

void disc(Frame& fb, int cx, int cy, int r, bool filled) {
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x) {
            const int d2 = x * x + y * y;
            const bool inside = d2 <= r * r + r;  // +r rounds the rim nicely
            const bool rim = inside && d2 > (r - 1) * (r - 1) + (r - 1);
            if (filled ? inside : rim) set(fb, cx + x, cy + y);
        }
}

// 8x8 ordered-dither matrix, values 0..63.
constexpr std::array<std::array<int, 8>, 8> kBayer = {{
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
}};

// Brightness 0..1 to on/off: an 8x8 matrix gives 65 visible grey levels.
bool dither(int x, int y, double level) {
    return level * 64.0 > kBayer[y & 7][x & 7] + 0.5;
}

double clamp01(double t) { return std::clamp(t, 0.0, 1.0); }
double smooth(double t) { t = clamp01(t); return t * t * (3 - 2 * t); }

// ---------------------------------------------------------------- font

// 5x7 glyphs, one byte per row, bit 4 = leftmost column.
struct Glyph {
    char c;
    std::array<std::uint8_t, 7> rows;
};

constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
};

const Glyph* find_glyph(char c) {
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;  // space and anything unknown draw as blank
}

constexpr int kAdvance = 6;  // 5 columns + 1 gap

int text_width(std::string_view s, int scale) {
    return s.empty() ? 0 : (static_cast<int>(s.size()) * kAdvance - 1) * scale;
}

void glyph(Frame& fb, char c, int x, int y, int scale) {
    const Glyph* g = find_glyph(c);
    if (!g) return;
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (g->rows[row] & (0x10 >> col))
                for (int sy = 0; sy < scale; ++sy)
                    for (int sx = 0; sx < scale; ++sx)
                        set(fb, x + col * scale + sx, y + row * scale + sy);
}

void text(Frame& fb, std::string_view s, int x, int y, int scale = 1) {
    for (char c : s) {
        glyph(fb, c, x, y, scale);
        x += kAdvance * scale;
    }
}

// ---------------------------------------------------------------- scenes
// Each scene draws local frame f of n into a cleared framebuffer.

// Title: letters of GLOWREEL drop in one by one, an underline grows from the
// middle, then the subtitle types itself out behind a block cursor.
void scene_title(Frame& fb, int f, int /*n*/) {
    constexpr std::string_view kTitle = "GLOWREEL";
    constexpr std::string_view kSub = "128X64 VFD";
    const int x0 = (W - text_width(kTitle, 2)) / 2;
    constexpr int kTitleY = 12;

    for (std::size_t i = 0; i < kTitle.size(); ++i) {
        const double t = smooth((f + 3 - 2.0 * static_cast<double>(i)) / 8.0);
        // A small overshoot past the resting line reads as a bounce.
        const double drop = (1 - t) * -30.0 + std::sin(t * kPi) * 3.0;
        const int x = x0 + static_cast<int>(i) * kAdvance * 2;
        glyph(fb, kTitle[i], x, kTitleY + static_cast<int>(std::lround(drop)), 2);
    }

    const int half = static_cast<int>(std::lround(smooth((f - 18) / 8.0) * 48));
    if (half > 0) line(fb, W / 2 - half, 31, W / 2 + half - 1, 31);

    const int typed = std::clamp((f - 22) / 2, 0, static_cast<int>(kSub.size()));
    const int sx = (W - text_width(kSub, 1)) / 2;
    constexpr int kSubY = 38;
    text(fb, kSub.substr(0, static_cast<std::size_t>(typed)), sx, kSubY);
    if (typed < static_cast<int>(kSub.size()) ? f >= 22 : (f / 4) % 2 == 0) {
        const int cx = sx + typed * kAdvance;
        for (int y = kSubY; y < kSubY + 7; ++y) line(fb, cx, y, cx + 4, y);
    }
}

// A wireframe cube tumbling on three axes, zooming in from the distance.
void scene_cube(Frame& fb, int f, int /*n*/) {
    struct V3 { double x, y, z; };
    std::array<V3, 8> v{};
    for (int i = 0; i < 8; ++i)
        v[i] = {i & 1 ? 1.0 : -1.0, i & 2 ? 1.0 : -1.0, i & 4 ? 1.0 : -1.0};

    const double ax = f * 0.061, ay = f * 0.089, az = f * 0.023;
    const double dist = 4.0 + 14.0 * (1 - smooth(f / 14.0));
    constexpr double kFocal = 50.0;

    std::array<std::array<int, 2>, 8> p{};
    for (int i = 0; i < 8; ++i) {
        auto [x, y, z] = v[i];
        double t = y * std::cos(ax) - z * std::sin(ax);
        z = y * std::sin(ax) + z * std::cos(ax); y = t;
        t = x * std::cos(ay) + z * std::sin(ay);
        z = -x * std::sin(ay) + z * std::cos(ay); x = t;
        t = x * std::cos(az) - y * std::sin(az);
        y = x * std::sin(az) + y * std::cos(az); x = t;
        const double s = kFocal / (z + dist);
        p[i] = {static_cast<int>(std::lround(W / 2 + x * s)),
                static_cast<int>(std::lround(H / 2 - y * s))};
    }
    // Edges join vertices whose indices differ in exactly one bit.
    for (int a = 0; a < 8; ++a)
        for (int bit = 1; bit < 8; bit <<= 1)
            if (!(a & bit)) line(fb, p[a][0], p[a][1], p[a | bit][0], p[a | bit][1]);
    for (const auto& q : p) disc(fb, q[0], q[1], 1, true);

    text(fb, "3D", 2, 2);
}

// Balls under gravity bouncing off the floor and walls. The simulation is
// replayed from the start for every frame so each frame stands alone.
void scene_balls(Frame& fb, int f, int /*n*/) {
    struct Ball { double x, y, vx, vy; int r; bool filled; };
    std::array<Ball, 5> balls = {{
        {14, 20, 1.3, 0.0, 6, true},
        {40, 12, -0.9, 0.5, 4, false},
        {70, 24, 1.8, -1.5, 8, false},
        {96, 16, -1.5, 0.0, 5, true},
        {116, 26, -2.2, -2.0, 3, true},
    }};
    constexpr double kGravity = 0.30;  // px per frame^2
    constexpr double kBounce = 0.88;   // floor restitution
    constexpr int kFloor = H - 2;
    constexpr int kSub = 4;            // substeps keep fast balls out of the floor

    for (int step = 0; step < f * kSub; ++step)
        for (Ball& b : balls) {
            b.vy += kGravity / kSub;
            b.x += b.vx / kSub;
            b.y += b.vy / kSub;
            if (b.y + b.r > kFloor) { b.y = kFloor - b.r; b.vy = -b.vy * kBounce; }
            if (b.x - b.r < 0) { b.x = b.r; b.vx = -b.vx; }
            if (b.x + b.r > W - 1) { b.x = W - 1 - b.r; b.vx = -b.vx; }
        }

    for (int x = 0; x < W; x += 2) set(fb, x, kFloor + 1);  // dotted floor
    for (const Ball& b : balls)
        disc(fb, static_cast<int>(std::lround(b.x)), static_cast<int>(std::lround(b.y)),
             b.r, b.filled);
    text(fb, "GRAVITY", W - text_width("GRAVITY", 1) - 2, 2);
}

// Classic sine plasma rendered through ordered dithering, fading to dark.
void scene_plasma(Frame& fb, int f, int n) {
    const double t = f * 0.15;
    const double fade = 1.0 - smooth((f - (n - 14)) / 12.0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double dx = x - 64 - 30 * std::sin(t * 0.7);
            const double dy = y - 32 - 14 * std::cos(t * 0.9);
            const double v = std::sin(x * 0.07 + t) + std::sin(y * 0.11 - t * 0.8) +
                             std::sin((x + y) * 0.05 + t * 0.6) +
                             std::sin(std::sqrt(dx * dx + dy * dy) * 0.15 - t * 1.3);
            const double level = 0.5 + 0.5 * std::sin(v * kPi * 0.5);
            fb[y][x] = dither(x, y, level * fade);
        }
}

// ---------------------------------------------------------------- timeline

using SceneFn = void (*)(Frame&, int, int);
enum class Blend { Dissolve, Wipe, Iris };

struct Scene {
    SceneFn draw;
    int frames;
    Blend into;  // how this scene replaces the previous one
};

constexpr int kOverlap = 8;  // frames two neighbouring scenes share

constexpr Scene kScenes[] = {
    {scene_title, 56, Blend::Dissolve},
    {scene_cube, 52, Blend::Dissolve},
    {scene_balls, 56, Blend::Wipe},
    {scene_plasma, 52, Blend::Iris},
};

// Mix two frames, t running 0 (all `from`) to 1 (all `to`).
Frame blend(const Frame& from, const Frame& to, double t, Blend how) {
    Frame out{};
    const int edge = static_cast<int>(std::lround(t * (W + 8))) - 4;
    const double radius = t * 75.0;  // 75 > half the screen diagonal
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool take_new = false, seam = false;
            switch (how) {
                case Blend::Dissolve:
                    take_new = dither(x, y, t);
                    break;
                case Blend::Wipe:
                    take_new = x < edge;
                    seam = x == edge || x == edge + 1;
                    break;
                case Blend::Iris: {
                    const double d = std::hypot(x - W / 2.0, y - H / 2.0);
                    take_new = d < radius;
                    seam = std::abs(d - radius) < 1.0;
                    break;
                }
            }
            out[y][x] = seam || (take_new ? to[y][x] : from[y][x]);
        }
    return out;
}

std::vector<Frame> render_all() {
    std::vector<Frame> out;
    int start = 0;  // global index of the current scene's first frame
    for (std::size_t s = 0; s < std::size(kScenes); ++s) {
        const Scene& sc = kScenes[s];
        for (int f = 0; f < sc.frames; ++f) {
            Frame fb{};
            sc.draw(fb, f, sc.frames);
            const int g = start + f;
            if (s > 0 && f < kOverlap) {
                // Already emitted by the previous scene: blend over it.
                const double t = (f + 1.0) / (kOverlap + 1.0);
                out[static_cast<std::size_t>(g)] = blend(out[static_cast<std::size_t>(g)], fb, t, sc.into);
            } else {
                out.push_back(fb);
            }
        }
        start += sc.frames - kOverlap;
    }
    return out;
}

// ---------------------------------------------------------------- output

void put16(std::vector<std::uint8_t>& b, unsigned v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}

// 1-bit bottom-up BMP. The display lights a dot for a 0 bit, so palette
// entry 0 is the glow colour and a viewer shows what the display would.
std::vector<std::uint8_t> encode_bmp(const Frame& fb) {
    constexpr std::uint32_t kRowBytes = W / 8;
    constexpr std::uint32_t kPixelOffset = 14 + 40 + 8;
    constexpr std::uint32_t kImageBytes = kRowBytes * H;
    std::vector<std::uint8_t> b;
    b.reserve(kPixelOffset + kImageBytes);

    b.push_back('B'); b.push_back('M');
    put32(b, kPixelOffset + kImageBytes);
    put32(b, 0);
    put32(b, kPixelOffset);

    put32(b, 40);
    put32(b, W);
    put32(b, H);  // positive: rows stored bottom-up
    put16(b, 1);
    put16(b, 1);
    put32(b, 0);
    put32(b, kImageBytes);
    put32(b, 2835);  // 72 dpi
    put32(b, 2835);
    put32(b, 2);
    put32(b, 2);

    b.insert(b.end(), {0xC0, 0xFF, 0x40, 0x00});  // entry 0, lit: B,G,R,0
    b.insert(b.end(), {0x00, 0x00, 0x00, 0x00});  // entry 1, dark

    for (int y = H - 1; y >= 0; --y)
        for (int k = 0; k < W / 8; ++k) {
            std::uint8_t byte = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (!fb[y][k * 8 + bit]) byte |= static_cast<std::uint8_t>(0x80 >> bit);
            b.push_back(byte);
        }
    return b;
}

bool write_file(const std::filesystem::path& p, const void* data, std::size_t n) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_demo OUTDIR\n";
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(root / "frames", ec);
    if (ec) {
        std::cerr << "make_demo: cannot create " << (root / "frames").string() << ": "
                  << ec.message() << "\n";
        return 1;
    }

    const std::vector<Frame> frames = render_all();
    std::string list = "1\n" + std::to_string(kDelayMs) + "\n";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03zu.bmp", i);
        const auto bmp = encode_bmp(frames[i]);
        if (!write_file(root / "frames" / name, bmp.data(), bmp.size())) {
            std::cerr << "make_demo: cannot write frames/" << name << "\n";
            return 1;
        }
        list += "frames/";
        list += name;
        list += '\n';
    }
    if (!write_file(root / "ani.txt", list.data(), list.size())) {
        std::cerr << "make_demo: cannot write ani.txt\n";
        return 1;
    }
    std::cout << "wrote " << frames.size() << " frames to " << root.string() << "\n";
    return 0;
}
