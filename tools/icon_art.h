#pragma once
// Text pixel art and the 16-colour icon files made from it. Portable: the build runs it on the
// build machine, which need not be Windows.
//
// An art file holds a legend and pictures. Blank lines and lines starting with '#' are skipped
// outside a picture's rows.
//
//   colour g green          one character, then a palette name or "transparent"
//   picture Dish0 16x16     a name, then width x height; the next height lines are its rows,
//   ................        one character per pixel, every row exactly width characters

#include <array>
#include <cstdint>
#include <optional>
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

struct DecodeResult {
    std::optional<Picture> picture;  // named "" since an .ico file keeps no name
    std::string error;
};

// Reads back exactly the kind of file EncodeIco writes and refuses anything else: one image, 4
// bits per pixel, uncompressed, with the standard palette.
DecodeResult DecodeIco(const std::vector<std::uint8_t>& bytes);

}  // namespace vantorel::icon_art
