// The PNG image: the pixels as RGBA rows, deflated by zlib, in the three chunks a PNG needs.
#include "tools/icon_png.h"

#include <stdexcept>

#include <zlib.h>

namespace vantorel::icon_art {

namespace {

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// zlib gives the same bytes for the same input, version and level, so the icons made here
// are the icons committed as long as the build machine's zlib is the one they were made with:
// Debian 12's 1.2.13, as CI has it. Another zlib may pack the same pixels into other bytes,
// and make_icons --check then asks for the icons to be made anew.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        throw std::runtime_error("zlib could not compress the PNG's pixels");
    }
    out.resize(size);
    return out;
}

void Chunk(std::vector<std::uint8_t>& out, const char (&type)[5],
           const std::vector<std::uint8_t>& data) {
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(std::span(out).subspan(start)));
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
}

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(picture.width);
    std::vector<std::uint8_t> above(rowBytes, 0);
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> raw;
    raw.reserve((1 + rowBytes) * static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        row.clear();
        for (int x = 0; x < picture.width; ++x) {
            const Pixel pixel = picture.At(x, y);
            if (!pixel) {
                row.insert(row.end(), {0, 0, 0, 0});
                continue;
            }
            const Rgb& rgb = Palette()[static_cast<std::size_t>(*pixel)];
            row.insert(row.end(), {rgb.red, rgb.green, rgb.blue, 0xFF});
        }
        // The Up filter: each byte less the one above, so the rows an enlarged picture
        // repeats become zeros (a sixth smaller than unfiltered for the program's icon).
        raw.push_back(2);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            raw.push_back(static_cast<std::uint8_t>(row[i] - above[i]));
        }
        above.swap(row);
    }
    std::vector<std::uint8_t> out(kPngSignature.begin(), kPngSignature.end());
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(picture.width));
    PutBig32(header, static_cast<std::uint32_t>(picture.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", Deflate(raw));
    Chunk(out, "IEND", {});
    return out;
}

}  // namespace vantorel::icon_art
