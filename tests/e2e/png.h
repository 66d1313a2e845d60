// Writes 24-bit RGB pixels as a PNG file (stored deflate blocks: no
// compression library needed). Used for the tests' screenshots.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace e2e {

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// `rgb`: rows top to bottom, 3 bytes a pixel.
inline bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), rgb.begin() + static_cast<long>(y) * width * 3,
                   rgb.begin() + static_cast<long>(y + 1) * width * 3);
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
    for (std::size_t pos = 0; pos < raw.size() || pos == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + n));
        pos += n;
        if (n == 0) break;
    }
    const std::uint32_t adler = (b << 16) | a;
    for (int s = 24; s >= 0; s -= 8) z.push_back(static_cast<std::uint8_t>(adler >> s));

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&out](const char* type, const std::vector<std::uint8_t>& data) {
        const auto n = static_cast<std::uint32_t>(data.size());
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(n >> s));
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.insert(out.end(), body.begin(), body.end());
        const std::uint32_t crc = Crc32(body.data(), body.size());
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(crc >> s));
    };
    std::vector<std::uint8_t> header;
    for (std::uint32_t v : {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
        for (int s = 24; s >= 0; s -= 8) header.push_back(static_cast<std::uint8_t>(v >> s));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", header);
    chunk("IDAT", z);
    chunk("IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace e2e
