// The art parser and the .ico writer, checked against the file layout Windows reads.

#include "tools/icon_art.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/case_name.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/icon_ico.h"
#include "tools/icon_png.h"

namespace vantorel::icon_art {
namespace {

using namespace testing_support;

constexpr std::string_view kLegend =
    "colour . transparent\n"
    "colour g green\n"
    "colour y yellow\n"
    "colour w white\n";

struct BadArt {
    std::string name;
    std::string text;
    std::string error;  // the whole message, line number included
};

class ArtErrors : public testing::TestWithParam<BadArt> {};

TEST_P(ArtErrors, AreReportedWithTheirLineAndNoPicture) {
    const ParseResult result = ParseArt(GetParam().text);
    EXPECT_EQ(result.error, GetParam().error);
    EXPECT_TRUE(result.pictures.empty());
}

INSTANTIATE_TEST_SUITE_P(
    IconArt, ArtErrors,
    testing::Values(
        BadArt{"RowTooShort", std::string(kLegend) + "picture A 3x2\ngyg\ngy\n",
               "line 7: row 2 of A has 2 pixels, not 3"},
        BadArt{"RowTooLong", std::string(kLegend) + "picture A 3x2\ngygg\nggg\n",
               "line 6: row 1 of A has 4 pixels, not 3"},
        BadArt{"BlankLineInsideAPicture", std::string(kLegend) + "picture A 2x2\ngg\n\ngg\n",
               "line 7: row 2 of A has 0 pixels, not 2"},
        BadArt{"UnknownCharacter", std::string(kLegend) + "picture A 3x1\ngqg\n",
               "line 6: 'q' in column 2 is not in the legend"},
        BadArt{"CharacterDefinedAfterItsUse",
               "colour g green\npicture A 2x1\ngy\ncolour y yellow\n",
               "line 3: 'y' in column 2 is not in the legend"},
        BadArt{"PictureCutShortAtTheEnd", std::string(kLegend) + "picture A 2x3\ngg\ngg\n",
               "line 8: picture A ends after 2 of its 3 rows"},
        BadArt{"PictureWithNoRowsBeforeTheNext",
               std::string(kLegend) + "picture A 2x2\npicture B 2x2\ngg\ngg\n",
               "line 6: picture A ends after 0 of its 2 rows"},
        BadArt{"NoPictureAtAll", std::string(kLegend) + "# nothing drawn\n",
               "line 6: no picture in the art"},
        BadArt{"EmptyText", "", "line 1: no picture in the art"},
        BadArt{"SameNameTwice", std::string(kLegend) + "picture A 1x1\ng\npicture A 1x1\ny\n",
               "line 7: a second picture named A"},
        BadArt{"ColourNotInThePalette", "colour p pink\n",
               "line 1: \"pink\" is not a colour of the 16-colour palette"},
        BadArt{"SymbolOfTwoCharacters", "colour gg green\n",
               "line 1: a legend symbol is one character, not \"gg\""},
        BadArt{"SymbolTwice", "colour g green\ncolour g lime\n",
               "line 2: 'g' is already in the legend"},
        BadArt{"SizeWithoutHeight", std::string(kLegend) + "picture A 16\n",
               "line 5: \"16\" is not a size from 1x1 to 256x256"},
        BadArt{"SizeTooLarge", std::string(kLegend) + "picture A 257x1\n",
               "line 5: \"257x1\" is not a size from 1x1 to 256x256"},
        BadArt{"SizeZero", std::string(kLegend) + "picture A 0x4\n",
               "line 5: \"0x4\" is not a size from 1x1 to 256x256"},
        BadArt{"UnknownLine", "color g green\n",
               "line 1: expected \"colour C NAME\", \"part C NAME STEP\" or \"picture NAME "
               "WxH\", got \"color g green\""},
        BadArt{"PartStepZero", "part f green 0\n", "line 1: \"0\" is not a step from 1 to 6"},
        BadArt{"PartStepSeven", "part f green 7\n", "line 1: \"7\" is not a step from 1 to 6"},
        BadArt{"PartTransparent", "part f transparent 2\n",
               "line 1: a part has a colour, it cannot be transparent"},
        BadArt{"PartSymbolTwice", "colour f green\npart f green 1\n",
               "line 2: 'f' is already in the legend"},
        BadArt{"ExpansionMeetsAnotherName",
               std::string(kLegend) + "part f green 1\npicture A1 1x1\ng\npicture A 1x1\nf\n",
               "line 10: a second picture named A1"}),
    CaseName());

TEST(IconArt, ReadsLegendRowsAndSeveralPictures) {
    const ParseResult result = ParseArt(
        "# comment\r\n"
        "colour . transparent\r\n"
        "colour # white\r\n"
        "colour R red\r\n"
        "\r\n"
        "picture First 3x2\r\n"
        "#.R\r\n"
        "R#.\r\n"
        "picture Second 1x1\n"
        "#\n");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.pictures.size(), 2u);
    const Picture& first = result.pictures[0];
    EXPECT_EQ(first.name, "First");
    EXPECT_EQ(first.width, 3);
    EXPECT_EQ(first.height, 2);
    const std::vector<Pixel> expected{Colour::kWhite, std::nullopt,   Colour::kRed,
                                      Colour::kRed,   Colour::kWhite, std::nullopt};
    EXPECT_EQ(first.pixels, expected) << "'#' inside a picture is a pixel, not a comment";
    EXPECT_EQ(result.pictures[1].name, "Second");
    EXPECT_EQ(result.pictures[1].pixels, std::vector<Pixel>{Colour::kWhite});
}

TEST(IconArt, APictureWithPartsBecomesSevenThatTurnRedStepByStep) {
    const ParseResult result = ParseArt(std::string(kLegend) +
                                        "part a green 1\npart b lime 3\npart c green 6\n"
                                        "picture D 5x1\nyabc.\npicture Plain 1x1\ng\n");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.pictures.size(), 8u);
    constexpr Pixel R = Colour::kRed;
    constexpr Pixel g = Colour::kGreen;
    constexpr Pixel G = Colour::kLime;
    constexpr Pixel y = Colour::kYellow;
    const std::vector<std::vector<Pixel>> steps{
        {y, g, G, g, {}}, {y, R, G, g, {}}, {y, R, G, g, {}}, {y, R, R, g, {}},
        {y, R, R, g, {}}, {y, R, R, g, {}}, {y, R, R, R, {}}};
    for (std::size_t k = 0; k < steps.size(); ++k) {
        EXPECT_EQ(result.pictures[k].name, "D" + std::to_string(k));
        EXPECT_EQ(result.pictures[k].pixels, steps[k]) << k;
    }
    EXPECT_EQ(result.pictures[7].name, "Plain") << "a picture without parts stays one";
}

TEST(IconArt, EveryPaletteNameNamesItsOwnColour) {
    std::string text;
    std::string row;
    for (int i = 0; i < kPaletteSize; ++i) {
        const char symbol = static_cast<char>('a' + i);
        text += "colour " + std::string(1, symbol) + " " + std::string(PaletteNames()[i]) + "\n";
        row += symbol;
    }
    text += "picture P 16x1\n" + row + "\n";
    const ParseResult result = ParseArt(text);
    ASSERT_TRUE(result.ok()) << result.error;
    for (int i = 0; i < kPaletteSize; ++i) {
        EXPECT_EQ(result.pictures[0].At(i, 0), static_cast<Colour>(i)) << PaletteNames()[i];
    }
    EXPECT_EQ(Palette()[static_cast<int>(Colour::kMaroon)], (Rgb{0x80, 0, 0}));
    EXPECT_EQ(Palette()[static_cast<int>(Colour::kSilver)], (Rgb{0xC0, 0xC0, 0xC0}));
    EXPECT_EQ(Palette()[static_cast<int>(Colour::kGrey)], (Rgb{0x80, 0x80, 0x80}));
    EXPECT_EQ(Palette()[static_cast<int>(Colour::kLime)], (Rgb{0, 0xFF, 0}));
    EXPECT_EQ(Palette()[static_cast<int>(Colour::kYellow)], (Rgb{0xFF, 0xFF, 0}));
}

// A picture with every colour and some holes, different from row to row and column to column,
// so that swapped rows, nibbles or bits show.
Picture Sample(int width, int height) {
    Picture picture;
    picture.name = "sample";
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int value = (x * 7 + y * 3 + x * y) % 19;
            picture.pixels.push_back(value >= kPaletteSize ? Pixel{}
                                                           : Pixel{static_cast<Colour>(value)});
        }
    }
    return picture;
}

std::uint32_t Read16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes.at(at) | static_cast<std::uint32_t>(bytes.at(at + 1)) << 8;
}

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return Read16(bytes, at) | Read16(bytes, at + 2) << 16;
}

struct IcoSize {
    std::string name;
    int width;
    int height;
    std::size_t colourStride;  // bytes per row of the 4-bit bitmap
    std::size_t maskStride;    // bytes per row of the 1-bit mask
    std::size_t fileSize;
};

class IcoLayout : public testing::TestWithParam<IcoSize> {};

TEST_P(IcoLayout, HeadersDescribeOneSixteenColourImage) {
    const IcoSize& size = GetParam();
    const std::vector<std::uint8_t> ico = EncodeIco(Sample(size.width, size.height));
    ASSERT_EQ(ico.size(), size.fileSize);
    EXPECT_EQ(Read16(ico, 0), 0u);
    EXPECT_EQ(Read16(ico, 2), 1u) << "icon, not cursor";
    EXPECT_EQ(Read16(ico, 4), 1u) << "one image";
    EXPECT_EQ(ico[6], size.width % 256) << "256 is stored as 0";
    EXPECT_EQ(ico[7], size.height % 256);
    EXPECT_EQ(ico[8], 16) << "colour count";
    EXPECT_EQ(ico[9], 0);
    EXPECT_EQ(Read16(ico, 10), 1u) << "planes";
    EXPECT_EQ(Read16(ico, 12), 4u) << "bits per pixel";
    const std::uint32_t bytesInRes = Read32(ico, 14);
    const std::uint32_t offset = Read32(ico, 18);
    EXPECT_EQ(offset, 22u);
    EXPECT_EQ(offset + bytesInRes, ico.size());

    EXPECT_EQ(Read32(ico, 22), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(Read32(ico, 26), static_cast<std::uint32_t>(size.width));
    EXPECT_EQ(Read32(ico, 30), static_cast<std::uint32_t>(2 * size.height)) << "colour + mask";
    EXPECT_EQ(Read16(ico, 34), 1u);
    EXPECT_EQ(Read16(ico, 36), 4u);
    EXPECT_EQ(Read32(ico, 38), 0u) << "BI_RGB";
    const std::size_t bits = (size.colourStride + size.maskStride) * size.height;
    EXPECT_EQ(Read32(ico, 42), bits);
    EXPECT_EQ(Read32(ico, 54), 16u) << "colours used";
    EXPECT_EQ(bytesInRes, 40 + 64 + bits);
    for (int i = 0; i < kPaletteSize; ++i) {
        const Rgb& rgb = Palette()[i];
        const std::size_t at = 62 + 4 * static_cast<std::size_t>(i);
        EXPECT_EQ(ico[at], rgb.blue) << "RGBQUAD is blue first, entry " << i;
        EXPECT_EQ(ico[at + 1], rgb.green);
        EXPECT_EQ(ico[at + 2], rgb.red);
        EXPECT_EQ(ico[at + 3], 0);
    }
}

TEST_P(IcoLayout, MaskIsSetExactlyWhereThePictureIsTransparent) {
    const IcoSize& size = GetParam();
    const Picture picture = Sample(size.width, size.height);
    const std::vector<std::uint8_t> ico = EncodeIco(picture);
    const std::size_t colours = 22 + 40 + 64;
    const std::size_t mask = colours + size.colourStride * size.height;
    for (int y = 0; y < size.height; ++y) {
        // Both bitmaps start with the bottom row.
        const std::size_t row = static_cast<std::size_t>(size.height - 1 - y);
        for (int x = 0; x < static_cast<int>(size.maskStride) * 8; ++x) {
            const bool bit = (ico[mask + row * size.maskStride + x / 8] >> (7 - x % 8)) & 1;
            if (x >= size.width) {
                EXPECT_FALSE(bit) << "padding at " << x << "," << y;
                continue;
            }
            const Pixel pixel = picture.At(x, y);
            EXPECT_EQ(bit, !pixel.has_value()) << x << "," << y;
            const std::uint8_t pair = ico[colours + row * size.colourStride + x / 2];
            const int nibble = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
            EXPECT_EQ(nibble, pixel ? static_cast<int>(*pixel) : 0) << x << "," << y;
        }
    }
}

TEST_P(IcoLayout, ReadsBackPixelForPixel) {
    const IcoSize& size = GetParam();
    const Picture picture = Sample(size.width, size.height);
    const DecodeResult back = DecodeIco(EncodeIco(picture));
    ASSERT_EQ(back.pictures.size(), 1u) << back.error;
    EXPECT_EQ(back.pictures[0].width, size.width);
    EXPECT_EQ(back.pictures[0].height, size.height);
    EXPECT_EQ(back.pictures[0].pixels, picture.pixels);
}

INSTANTIATE_TEST_SUITE_P(IconArt, IcoLayout,
                         testing::Values(IcoSize{"Tray16", 16, 16, 8, 4, 318},
                                         IcoSize{"Badge32", 32, 32, 16, 4, 766},
                                         IcoSize{"OnePixel", 1, 1, 4, 4, 134},
                                         IcoSize{"OddWidth5x3", 5, 3, 4, 4, 150},
                                         IcoSize{"PastOneWord33x2", 33, 2, 20, 8, 182},
                                         IcoSize{"Largest256", 256, 256, 128, 32, 41086}),
                         CaseName());

TEST(IconArt, SeveralSizesReadBackSmallestFirstWithTheLargestAsPng) {
    const std::vector<std::uint8_t> ico =
        EncodeIco({Sample(24, 24), Enlarge(Sample(32, 32), 8), Sample(16, 16)}, 256);
    ASSERT_EQ(Read16(ico, 4), 3u);
    EXPECT_EQ(ico[6 + 32], 0) << "256 wide";
    EXPECT_EQ(Read16(ico, 6 + 32 + 6), 32u) << "the PNG is 32 bits per pixel";
    const DecodeResult back = DecodeIco(ico);
    ASSERT_EQ(back.pictures.size(), 2u) << back.error;
    EXPECT_EQ(back.pictures[0].pixels, Sample(16, 16).pixels);
    EXPECT_EQ(back.pictures[1].pixels, Sample(24, 24).pixels);
    EXPECT_EQ(back.pngWidths, std::vector<int>{256});
}

TEST(Png, ChecksumsMatchTheirPublishedValues) {
    const std::string text = "123456789";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(Crc32(bytes), 0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
}

std::filesystem::path OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::filesystem::path candidate = std::filesystem::path(rest.substr(0, colon)) / name;
        if (std::filesystem::exists(candidate)) {
            return candidate;
        }
        rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    }
    return {};
}

TEST(Png, ImageMagickReadsBackEveryPixel) {
    const std::filesystem::path convert = OnPath("convert");
    ASSERT_FALSE(convert.empty()) << "ImageMagick's convert is needed to read the PNG";
    // Enlarged like the program's largest image, and odd-sized, so that no row is a round
    // number of bytes.
    const Picture picture = Enlarge(Sample(37, 19), 7);
    const std::vector<std::uint8_t> png = EncodePng(picture);
    TempDir temp;
    std::ofstream(temp.path() / "p.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    const ProcessOutput run = RunProgram(convert, {(temp.path() / "p.png").native(), "-depth", "8",
                                                   "rgba:" + (temp.path() / "p.rgba").native()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "") << "a checksum ImageMagick doubts shows here";
    std::ifstream in(temp.path() / "p.rgba", std::ios::binary);
    const std::vector<std::uint8_t> rgba(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(rgba.size(), std::size_t{4} * 259 * 133);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::size_t at =
                4 * (static_cast<std::size_t>(y) * 259 + static_cast<std::size_t>(x));
            const Pixel pixel = picture.At(x, y);
            const Rgb rgb = pixel ? Palette()[static_cast<std::size_t>(*pixel)] : Rgb{0, 0, 0};
            ASSERT_EQ(rgba[at + 3], pixel ? 255 : 0) << x << "," << y;
            if (pixel) {
                ASSERT_EQ((Rgb{rgba[at], rgba[at + 1], rgba[at + 2]}), rgb) << x << "," << y;
            }
        }
    }
    EXPECT_LT(png.size(), rgba.size() / 20) << "zlib finds the repeats";
}

struct Damage {
    std::string name;
    std::size_t at;
    std::uint8_t value;
    std::string error;
};

class DamagedIco : public testing::TestWithParam<Damage> {};

TEST_P(DamagedIco, IsRefusedWithTheReason) {
    std::vector<std::uint8_t> ico = EncodeIco(Sample(16, 16));
    ico.at(GetParam().at) = GetParam().value;
    const DecodeResult result = DecodeIco(ico);
    EXPECT_TRUE(result.pictures.empty());
    EXPECT_EQ(result.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    IconArt, DamagedIco,
    testing::Values(
        Damage{"Cursor", 2, 2, "not an icon file"}, Damage{"NoImage", 4, 0, "not an icon file"},
        Damage{"TwoImagesListedOneThere", 4, 2,
               "the image's offset and size do not match the file"},
        Damage{"EightBits", 12, 8,
               "the directory entry does not describe 16 colours at 4 bits per pixel"},
        Damage{"SizeInDirectory", 14, 0x20, "the image's offset and size do not match the file"},
        Damage{"WidthDisagrees", 26, 15, "the bitmap header does not match the directory entry"},
        Damage{"HeightNotDoubled", 30, 16, "the bitmap header does not match the directory entry"},
        Damage{"Compressed", 38, 2, "the bitmap header does not match the directory entry"},
        Damage{"PaletteEntry", 62 + 4 * 9 + 2, 0xFE, "palette entry 9 is not the standard colour"},
        // The first mask byte is the bottom row's left edge: pixel 0,15 of the sample is silver.
        Damage{"MaskOverAColour", 22 + 40 + 64 + 128, 0x80, "pixel 0,15 is masked but not black"}),
    CaseName());

TEST(IconArt, ATruncatedIcoIsRefused) {
    std::vector<std::uint8_t> ico = EncodeIco(Sample(16, 16));
    for (std::size_t keep : {std::size_t{0}, std::size_t{21}, ico.size() - 1}) {
        const std::vector<std::uint8_t> cut(ico.begin(),
                                            ico.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_TRUE(DecodeIco(cut).pictures.empty()) << keep << " bytes";
    }
}

}  // namespace
}  // namespace vantorel::icon_art
