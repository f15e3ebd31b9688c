// The .ico files: the icon directory, the 4-bit bitmap image with its palette and mask, and
// reading both back. The PNG images come from icon_png.cpp.
#include "tools/icon_ico.h"

#include <algorithm>

#include "tools/icon_png.h"

namespace vantorel::icon_art {

namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kPaletteBytes = std::size_t{4} * kPaletteSize;

// Bitmap rows are padded to whole 32-bit words.
std::size_t Stride(int width, int bitsPerPixel) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 31) / 32 * 4;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::uint32_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8;
}

std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return Get16(in, at) | Get16(in, at + 2) << 16;
}

std::size_t BitsSize(int width, int height) {
    return (Stride(width, 4) + Stride(width, 1)) * static_cast<std::size_t>(height);
}

// One image as an icon file holds it: the bitmap header, the palette, the colours and the
// mask, both bitmaps from the bottom row up.
std::vector<std::uint8_t> BitmapImage(const Picture& picture) {
    const int width = picture.width;
    const int height = picture.height;
    const std::size_t colourStride = Stride(width, 4);
    const std::size_t maskStride = Stride(width, 1);
    std::vector<std::uint8_t> out;
    Put32(out, kHeaderSize);
    Put32(out, static_cast<std::uint32_t>(width));
    // The height counts the colour bitmap and the mask together.
    Put32(out, static_cast<std::uint32_t>(2 * height));
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);  // uncompressed
    Put32(out, static_cast<std::uint32_t>(BitsSize(width, height)));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, kPaletteSize);
    Put32(out, 0);
    for (const Rgb& colour : Palette()) {
        out.insert(out.end(), {colour.blue, colour.green, colour.red, 0});
    }
    std::vector<std::uint8_t> colours(colourStride * static_cast<std::size_t>(height), 0);
    std::vector<std::uint8_t> mask(maskStride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const Pixel pixel = picture.At(x, y);
            const std::size_t column = static_cast<std::size_t>(x);
            if (!pixel) {
                mask[row * maskStride + column / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                continue;
            }
            const auto index = static_cast<std::uint8_t>(*pixel);
            colours[row * colourStride + column / 2] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
    }
    out.insert(out.end(), colours.begin(), colours.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeIco(const Picture& picture) {
    return EncodeIco({picture}, 257);
}

std::vector<std::uint8_t> EncodeIco(std::vector<Picture> images, int pngFrom) {
    std::stable_sort(images.begin(), images.end(),
                     [](const Picture& a, const Picture& b) { return a.width < b.width; });
    std::vector<std::vector<std::uint8_t>> data;
    data.reserve(images.size());
    for (const Picture& image : images) {
        data.push_back(image.width >= pngFrom ? EncodePng(image) : BitmapImage(image));
    }
    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = kDirectorySize + kEntrySize * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        const bool png = images[i].width >= pngFrom;
        // A size of 256 is written as 0.
        out.push_back(static_cast<std::uint8_t>(images[i].width & 0xFF));
        out.push_back(static_cast<std::uint8_t>(images[i].height & 0xFF));
        out.push_back(png ? 0 : kPaletteSize);
        out.push_back(0);
        Put16(out, 1);             // planes
        Put16(out, png ? 32 : 4);  // bits per pixel
        Put32(out, static_cast<std::uint32_t>(data[i].size()));
        Put32(out, static_cast<std::uint32_t>(offset));
        offset += data[i].size();
    }
    for (const std::vector<std::uint8_t>& image : data) {
        out.insert(out.end(), image.begin(), image.end());
    }
    return out;
}

namespace {

// Reads one 4-bit image that a directory entry describes; gives the reason when it is not one.
std::string DecodeBitmap(const std::vector<std::uint8_t>& bytes, std::size_t entry,
                         Picture& picture) {
    const int width = bytes[entry] == 0 ? 256 : bytes[entry];
    const int height = bytes[entry + 1] == 0 ? 256 : bytes[entry + 1];
    if (bytes[entry + 2] != kPaletteSize || bytes[entry + 3] != 0 || Get16(bytes, entry + 4) != 1 ||
        Get16(bytes, entry + 6) != 4) {
        return "the directory entry does not describe 16 colours at 4 bits per pixel";
    }
    const std::size_t imageSize = Get32(bytes, entry + 8);
    const std::size_t header = Get32(bytes, entry + 12);
    const std::size_t colourStride = Stride(width, 4);
    const std::size_t maskStride = Stride(width, 1);
    const std::size_t bitsSize = BitsSize(width, height);
    if (imageSize != kHeaderSize + kPaletteBytes + bitsSize) {
        return "the image size does not fit its width and height";
    }
    if (Get32(bytes, header) != kHeaderSize ||
        Get32(bytes, header + 4) != static_cast<std::uint32_t>(width) ||
        Get32(bytes, header + 8) != static_cast<std::uint32_t>(2 * height) ||
        Get16(bytes, header + 12) != 1 || Get16(bytes, header + 14) != 4 ||
        Get32(bytes, header + 16) != 0 || Get32(bytes, header + 20) != bitsSize ||
        Get32(bytes, header + 32) != kPaletteSize) {
        return "the bitmap header does not match the directory entry";
    }
    const std::size_t palette = header + kHeaderSize;
    for (std::size_t i = 0; i < kPaletteSize; ++i) {
        const Rgb& colour = Palette()[i];
        const std::size_t at = palette + 4 * i;
        if (bytes[at] != colour.blue || bytes[at + 1] != colour.green ||
            bytes[at + 2] != colour.red || bytes[at + 3] != 0) {
            return "palette entry " + std::to_string(i) + " is not the standard colour";
        }
    }
    const std::size_t colours = palette + kPaletteBytes;
    const std::size_t mask = colours + colourStride * static_cast<std::size_t>(height);

    picture.width = width;
    picture.height = height;
    picture.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::size_t column = static_cast<std::size_t>(x);
            const std::uint8_t pair = bytes[colours + row * colourStride + column / 2];
            const int index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
            const bool transparent =
                (bytes[mask + row * maskStride + column / 8] & (0x80 >> (x % 8))) != 0;
            if (transparent && index != 0) {
                // Windows would draw this colour inverted over the background.
                return "pixel " + std::to_string(x) + "," + std::to_string(y) +
                       " is masked but not black";
            }
            picture.pixels.push_back(transparent ? Pixel{} : Pixel{static_cast<Colour>(index)});
        }
    }
    return {};
}

}  // namespace

DecodeResult DecodeIco(const std::vector<std::uint8_t>& bytes) {
    DecodeResult result;
    const auto fail = [&result](std::string message) {
        result.pictures.clear();
        result.pngWidths.clear();
        result.error = std::move(message);
        return result;
    };
    if (bytes.size() < kDirectorySize + kEntrySize) {
        return fail("shorter than an icon directory");
    }
    const std::size_t count = Get16(bytes, 4);
    if (Get16(bytes, 0) != 0 || Get16(bytes, 2) != 1 || count == 0) {
        return fail("not an icon file");
    }
    // The images follow the directory one after the other, to the end of the file.
    std::size_t next = kDirectorySize + kEntrySize * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = kDirectorySize + kEntrySize * i;
        const std::size_t size = next <= bytes.size() ? Get32(bytes, entry + 8) : 0;
        if (next > bytes.size() || Get32(bytes, entry + 12) != next || size > bytes.size() - next ||
            (i + 1 == count && next + size != bytes.size())) {
            return fail("the image's offset and size do not match the file");
        }
        if (size >= kPngSignature.size() &&
            std::equal(kPngSignature.begin(), kPngSignature.end(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(next))) {
            result.pngWidths.push_back(bytes[entry] == 0 ? 256 : bytes[entry]);
        } else {
            Picture picture;
            std::string error = DecodeBitmap(bytes, entry, picture);
            if (!error.empty()) {
                return fail(std::move(error));
            }
            result.pictures.push_back(std::move(picture));
        }
        next += size;
    }
    return result;
}

}  // namespace vantorel::icon_art
