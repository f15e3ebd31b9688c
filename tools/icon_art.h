#pragma once
// Text pixel art and the 16-colour icon files made from it. Portable: the build runs it on the
// build machine, which need not be Windows.
//
// An art file holds a legend and pictures. Blank lines and lines starting with '#' are skipped
// outside a picture's rows.
//
//   colour g green          one character, then a palette name or "transparent"
//   part f green 1          one character, a palette name and a step from 1 to 6
//   picture Dish0 16x16     a name, then width x height; the next height lines are its rows,
//   ................        one character per pixel, every row exactly width characters
//
// A picture drawn with part characters stands for seven, its name followed by 0 to 6: in
// picture k every part pixel of step k or below is red, every other pixel keeps its colour.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::icon_art {

// The standard 16-colour palette of VGA and Windows, in its usual order.
enum class Colour : std::uint8_t {
    kBlack,
    kMaroon,
    kGreen,
    kOlive,
    kNavy,
    kPurple,
    kTeal,
    kSilver,
    kGrey,
    kRed,
    kLime,
    kYellow,
    kBlue,
    kFuchsia,
    kAqua,
    kWhite,
};
inline constexpr int kPaletteSize = 16;

struct Rgb {
    std::uint8_t red, green, blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

const std::array<Rgb, kPaletteSize>& Palette();
// The lower-case names the legend uses ("black" ... "white").
const std::array<std::string_view, kPaletteSize>& PaletteNames();

// A pixel: a palette colour, or nothing where the picture lets the background through.
using Pixel = std::optional<Colour>;

struct Picture {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;  // row by row from the top

    Pixel At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    friend bool operator==(const Picture&, const Picture&) = default;
};

struct ParseResult {
    std::vector<Picture> pictures;
    std::string error;  // empty on success; otherwise "line N: ..." and no pictures

    bool ok() const { return error.empty(); }
};

ParseResult ParseArt(std::string_view text);

// The .ico file of one picture: one image, 4 bits per pixel with the full palette, and a 1-bit
// mask that is set where the picture is transparent. Width and height from 1 to 256.
std::vector<std::uint8_t> EncodeIco(const Picture& picture);
// The .ico file of several sizes of one picture, smallest first. Images at least pngFrom wide
// are stored as 32-bit PNG, which Windows reads since Vista; the rest as above.
std::vector<std::uint8_t> EncodeIco(std::vector<Picture> images, int pngFrom);

struct DecodeResult {
    std::vector<Picture> pictures;  // named "" since an .ico file keeps no name
    std::vector<int> pngWidths;     // the PNG images, not decoded here
    std::string error;              // empty on success; otherwise no pictures
};

// Reads back exactly the kind of file EncodeIco writes and refuses anything else: images of 4
// bits per pixel, uncompressed, with the standard palette, and PNG images by their header.
DecodeResult DecodeIco(const std::vector<std::uint8_t>& bytes);

// The picture n times as wide and high, every pixel a square.
Picture Enlarge(const Picture& picture, int n);

// A PNG of the picture: 8-bit RGBA, transparent pixels all zero, compressed with fixed
// Huffman codes and matches against the pixel before and the row above.
std::vector<std::uint8_t> EncodePng(const Picture& picture);
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);
std::uint32_t Adler32(std::span<const std::uint8_t> bytes);

}  // namespace vantorel::icon_art
