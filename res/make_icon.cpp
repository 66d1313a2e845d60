// Draws PortSetup's icon, a small printer with a sheet coming out, and writes
// it as an .ico file with six images: 32, 24 and 16 pixels, each in 256
// colours and in 32-bit colour with alpha. The drawing is a list of shapes on
// a 32 x 32 grid, rendered with 4 x 4 supersampling at each size.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

struct Rgba {
    double r, g, b, a;
};

struct Shape {
    double x0, y0, x1, y1;  // on the 32 x 32 grid
    double radius;          // corner rounding
    Rgba colour;
};

// Back to front.
const Shape kPrinter[] = {
    {9, 2, 23, 13, 0.5, {250, 250, 250, 1}},    // sheet waiting at the back
    {8.5, 1.5, 23.5, 2.5, 0, {150, 150, 160, 1}},  // its top edge
    {3, 11, 29, 26, 3, {62, 72, 92, 1}},        // body
    {4, 12, 28, 16, 2, {104, 118, 146, 1}},     // lit top face
    {23, 13, 26, 15, 1, {80, 220, 110, 1}},     // power light
    {6, 19, 26, 21, 0.5, {20, 24, 32, 1}},      // output slot
    {9, 20, 23, 30, 0.5, {255, 255, 255, 1}},   // printed sheet
    {11, 23, 21, 24, 0, {90, 110, 170, 1}},     // printed lines
    {11, 25.5, 19, 26.5, 0, {90, 110, 170, 1}},
    {11, 28, 17, 29, 0, {90, 110, 170, 1}},
};

bool Inside(const Shape& s, double x, double y) {
    if (x < s.x0 || x >= s.x1 || y < s.y0 || y >= s.y1) return false;
    const double cx = std::clamp(x, s.x0 + s.radius, s.x1 - s.radius);
    const double cy = std::clamp(y, s.y0 + s.radius, s.y1 - s.radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= s.radius * s.radius;
}

// Premultiplied-free painter's algorithm per sample, then averaged.
std::vector<Rgba> Render(int size) {
    std::vector<Rgba> pixels(static_cast<std::size_t>(size * size));
    const int n = 4;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgba sum{0, 0, 0, 0};
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    const double x = (px + (sx + 0.5) / n) * 32.0 / size;
                    const double y = (py + (sy + 0.5) / n) * 32.0 / size;
                    Rgba c{0, 0, 0, 0};
                    for (const Shape& s : kPrinter)
                        if (Inside(s, x, y)) c = s.colour;
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                }
            }
            Rgba& p = pixels[static_cast<std::size_t>(py * size + px)];
            p.a = sum.a / (n * n);
            if (sum.a > 0) p = {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, p.a};
        }
    }
    return pixels;
}

// 256 colours: a 6 x 6 x 6 cube and a ramp of greys.
std::array<std::array<std::uint8_t, 3>, 256> Palette() {
    std::array<std::array<std::uint8_t, 3>, 256> palette{};
    int i = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette[i++] = {static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                                static_cast<std::uint8_t>(b * 51)};
    for (; i < 256; ++i) {
        const auto grey = static_cast<std::uint8_t>((i - 216) * 255 / 39);
        palette[i] = {grey, grey, grey};
    }
    return palette;
}

std::uint8_t Nearest(const std::array<std::array<std::uint8_t, 3>, 256>& palette, const Rgba& c) {
    int best = 0;
    double bestDistance = 1e18;
    for (int i = 0; i < 256; ++i) {
        const double dr = palette[i][0] - c.r, dg = palette[i][1] - c.g, db = palette[i][2] - c.b;
        const double d = dr * dr * 0.3 + dg * dg * 0.59 + db * db * 0.11;
        if (d < bestDistance) bestDistance = d, best = i;
    }
    return static_cast<std::uint8_t>(best);
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, unsigned v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon image: BITMAPINFOHEADER, palette, colour rows, AND mask, bottom up.
std::vector<std::uint8_t> IconImage(int size, int bits) {
    const auto pixels = Render(size);
    const auto palette = Palette();
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<unsigned>(size));
    Put32(out, static_cast<unsigned>(size * 2));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    for (int i = 0; i < 6; ++i) Put32(out, 0);  // no compression, sizes and colour counts left to the reader
    if (bits == 8) {
        for (const auto& c : palette) {
            out.push_back(c[2]);
            out.push_back(c[1]);
            out.push_back(c[0]);
            out.push_back(0);
        }
    }
    const int colourRow = ((size * bits + 31) / 32) * 4;
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row;
        for (int x = 0; x < size; ++x) {
            const Rgba& p = pixels[static_cast<std::size_t>(y * size + x)];
            if (bits == 32) {
                row.push_back(static_cast<std::uint8_t>(std::lround(p.b)));
                row.push_back(static_cast<std::uint8_t>(std::lround(p.g)));
                row.push_back(static_cast<std::uint8_t>(std::lround(p.r)));
                row.push_back(static_cast<std::uint8_t>(std::lround(p.a * 255)));
            } else {
                row.push_back(p.a >= 0.5 ? Nearest(palette, p) : 0);
            }
        }
        row.resize(static_cast<std::size_t>(colourRow), 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    const int maskRow = ((size + 31) / 32) * 4;
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(maskRow), 0);
        for (int x = 0; x < size; ++x)
            if (pixels[static_cast<std::size_t>(y * size + x)].a < 0.5) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    const int sizes[] = {32, 24, 16};
    std::vector<std::vector<std::uint8_t>> images;
    std::vector<std::pair<int, int>> formats;
    for (int bits : {8, 32})
        for (int size : sizes) {
            images.push_back(IconImage(size, bits));
            formats.push_back({size, bits});
        }
    std::vector<std::uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(images.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(formats[i].first));
        file.push_back(static_cast<std::uint8_t>(formats[i].first));
        file.push_back(0);  // 0: 256 colours or more
        file.push_back(0);
        Put16(file, 1);
        Put16(file, static_cast<unsigned>(formats[i].second));
        Put32(file, static_cast<unsigned>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
    std::ofstream(argv[1], std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                  static_cast<std::streamsize>(file.size()));
    return 0;
}
