#pragma once
// Text pixel art: the 16-colour palette, pictures, and the parser of the art text. The icon
// files are made from the pictures by icon_ico.h, the PNG inside them by icon_png.h. Portable:
// the build runs it on the build machine, which need not be Windows.
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

// The picture n times as wide and high, every pixel a square.
Picture Enlarge(const Picture& picture, int n);

}  // namespace vantorel::icon_art
