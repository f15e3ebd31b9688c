// The committed art and icons: what the tray pictures must show, and that the .ico files in the
// repository are exactly what the art yields.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/icon_art.h"
#include "tools/icon_ico.h"
#include "tools/icon_png.h"

namespace vantorel::icon_art {
namespace {

using namespace testing_support;

const std::filesystem::path kResources = std::filesystem::path(VANTOREL_SOURCE_DIR) / "resources";

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<Picture> Art(const char* file) {
    const ParseResult result = ParseArt(ReadText(kResources / file));
    EXPECT_TRUE(result.ok()) << file << ": " << result.error;
    return result.pictures;
}

bool IsGreen(const Pixel& p) {
    return p == Colour::kGreen || p == Colour::kLime;
}

bool IsRed(const Pixel& p) {
    return p == Colour::kRed || p == Colour::kMaroon;
}

int Count(const Picture& picture, bool (*kind)(const Pixel&)) {
    return static_cast<int>(std::count_if(picture.pixels.begin(), picture.pixels.end(), kind));
}

// The sizes the dish is drawn at, one art file each; 16 is always there.
std::vector<int> DishSizes() {
    std::vector<int> sizes;
    for (const int size : {16, 20, 24, 28, 32, 40, 48}) {
        if (std::filesystem::exists(kResources / ("dish" + std::to_string(size) + ".txt"))) {
            sizes.push_back(size);
        }
    }
    return sizes;
}

std::string DishFile(int size) {
    return "dish" + std::to_string(size) + ".txt";
}

class Dishes : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        size = GetParam();
        dishes = Art(DishFile(size).c_str());
        ASSERT_EQ(dishes.size(), 7u);
    }
    int size = 0;
    std::vector<Picture> dishes;
};

TEST_P(Dishes, SevenSquarePicturesOfTheirSizeNamedInOrder) {
    for (std::size_t n = 0; n < dishes.size(); ++n) {
        EXPECT_EQ(dishes[n].name, "Dish" + std::to_string(n));
        EXPECT_EQ(dishes[n].width, size);
        EXPECT_EQ(dishes[n].height, size);
    }
}

TEST_P(Dishes, RedReplacesGreenAndNothingElseChanges) {
    const Picture& first = dishes[0];
    for (const Picture& dish : dishes) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const Pixel was = first.At(x, y);
                const Pixel is = dish.At(x, y);
                if (IsGreen(was)) {
                    EXPECT_TRUE(IsGreen(is) || IsRed(is)) << dish.name << " " << x << "," << y;
                } else {
                    EXPECT_EQ(is, was) << dish.name << " " << x << "," << y;
                }
            }
        }
    }
}

TEST_P(Dishes, RedClimbsFromTheFeetOneStepPerPicture) {
    EXPECT_EQ(Count(dishes[0], IsRed), 0) << "Dish0 has no red";
    EXPECT_EQ(Count(dishes[6], IsGreen), 0) << "Dish6 has no green";
    EXPECT_GT(Count(dishes[0], IsGreen), 0);
    int lastTop = size;
    for (std::size_t n = 1; n < dishes.size(); ++n) {
        const Picture& before = dishes[n - 1];
        const Picture& dish = dishes[n];
        EXPECT_GT(Count(dish, IsRed), Count(before, IsRed)) << dish.name;
        int top = size;
        int lowestGreen = -1;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (IsRed(dish.At(x, y))) {
                    top = std::min(top, y);
                }
                if (IsGreen(dish.At(x, y))) {
                    lowestGreen = y;
                }
                if (IsRed(before.At(x, y))) {
                    EXPECT_TRUE(IsRed(dish.At(x, y)))
                        << dish.name << " lost red at " << x << "," << y;
                }
            }
        }
        EXPECT_LT(lowestGreen, top) << dish.name << ": red is a level, every green above it";
        EXPECT_LE(top, lastTop) << dish.name;
        lastTop = top;
    }
}

TEST_P(Dishes, TheRimIsAYellowLineAcrossTheWholeDrawing) {
    for (const Picture& dish : dishes) {
        int left = size;
        int right = -1;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (dish.At(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        bool rim = false;
        for (int y = 0; y < size && !rim; ++y) {
            rim = true;
            for (int x = left; x <= right; ++x) {
                rim = rim && dish.At(x, y) == Colour::kYellow;
            }
        }
        EXPECT_TRUE(rim) << dish.name;
    }
}

TEST_P(Dishes, GreenPicturesHaveLightGreenHighlights) {
    for (std::size_t n = 0; n < 4; ++n) {
        EXPECT_GT(std::count(dishes[n].pixels.begin(), dishes[n].pixels.end(), Colour::kLime), 0)
            << dishes[n].name;
    }
}

// Drawn anew per size, the outline and the yellow must still mirror about the centre, top to
// bottom and nearly edge to edge like the 16, or one size looks lopsided or smaller.
TEST_P(Dishes, MirroredAndFillingTheSquare) {
    const Picture& dish = dishes[0];
    int left = size;
    int right = -1;
    for (int x = 0; x < size; ++x) {
        for (int y = 0; y < size; ++y) {
            if (dish.At(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GE(right - left + 1, size - 2);
    for (int y = 0; y < size; ++y) {
        for (int x = left; x <= right; ++x) {
            const Pixel p = dish.At(x, y);
            const Pixel mirror = dish.At(left + right - x, y);
            EXPECT_EQ(p.has_value(), mirror.has_value()) << x << "," << y;
            EXPECT_EQ(p == Colour::kYellow, mirror == Colour::kYellow) << x << "," << y;
        }
    }
    EXPECT_TRUE(std::any_of(dish.pixels.begin(), dish.pixels.begin() + size, IsGreen));
    EXPECT_TRUE(std::any_of(dish.pixels.end() - size, dish.pixels.end(), IsGreen));
}

// Each step reads as the same fraction filled at every size: its red starts within a row of
// where the 16's does, scaled.
TEST_P(Dishes, EachStepFillsTheHeightAsAt16) {
    const std::vector<Picture> at16 = Art("dish16.txt");
    ASSERT_EQ(at16.size(), 7u);
    const auto topRed = [](const Picture& picture) {
        const auto first = std::find_if(picture.pixels.begin(), picture.pixels.end(), IsRed);
        return static_cast<int>(first - picture.pixels.begin()) / picture.width;
    };
    for (std::size_t n = 1; n < dishes.size(); ++n) {
        EXPECT_NEAR(topRed(dishes[n]), topRed(at16[n]) * size / 16.0, 0.99) << dishes[n].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Art, Dishes, testing::ValuesIn(DishSizes()),
                         [](const testing::TestParamInfo<int>& param) {
                             return "Dish" + std::to_string(param.param);
                         });

TEST(Dishes16, AreExactlyThePicturesTheMeterAlwaysShowed) {
    // CRC-32s of the seven 16-pixel images (header, palette and bits) as the meter first
    // shipped them: the larger sizes must not change what 100 % scale shows.
    constexpr std::uint32_t kShipped[] = {0xB9CE9BCF, 0x8667B05E, 0x8BE777F9, 0xB79EA64C,
                                          0x27AAEECE, 0x2B8A11CE, 0x9EF4264C};
    const std::vector<Picture> dishes = Art("dish16.txt");
    ASSERT_EQ(dishes.size(), 7u);
    for (std::size_t n = 0; n < dishes.size(); ++n) {
        const std::vector<std::uint8_t> ico = EncodeIco(dishes[n]);
        EXPECT_EQ(Crc32(std::span(ico).subspan(22)), kShipped[n]) << dishes[n].name;
    }
}

TEST(Badge, OneThirtyTwoPixelPictureWithTransparentCorners) {
    const std::vector<Picture> badge = Art("badge.txt");
    ASSERT_EQ(badge.size(), 1u);
    EXPECT_EQ(badge[0].name, "Badge");
    ASSERT_EQ(badge[0].width, 32);
    ASSERT_EQ(badge[0].height, 32);
    EXPECT_FALSE(badge[0].At(31, 0));
    EXPECT_FALSE(badge[0].At(31, 31));
    std::set<int> colours;
    for (const Pixel& p : badge[0].pixels) {
        if (p) {
            colours.insert(static_cast<int>(*p));
        }
    }
    EXPECT_GE(colours.size(), 3u) << "a drawing, not a plain square";
}

std::filesystem::path MakeIcons() {
    return ProgramDirectory() / "make_icons";
}

std::vector<PathString> ArtFiles() {
    std::vector<PathString> files;
    for (const int size : DishSizes()) {
        files.push_back((kResources / DishFile(size)).native());
    }
    files.push_back((kResources / "badge.txt").native());
    return files;
}

std::vector<PathString> Args(std::vector<PathString> front, const std::vector<PathString>& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

TEST(MakeIcons, TheCommittedIconsAreWhatTheArtYields) {
    const ProcessOutput run = RunProgram(MakeIcons(), Args({"--check", kResources}, ArtFiles()));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

TEST(MakeIcons, WritesOneIconPerPictureThatWindowsCanRead) {
    TempDir temp;
    const ProcessOutput run = RunProgram(MakeIcons(), Args({temp.path()}, ArtFiles()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* name : {"Dish0", "Dish3", "Dish6", "Badge", "Program"}) {
        const std::string written = ReadText(temp.path() / (std::string(name) + ".ico"));
        const DecodeResult back =
            DecodeIco(std::vector<std::uint8_t>(written.begin(), written.end()));
        ASSERT_FALSE(back.pictures.empty()) << name << ": " << back.error;
        EXPECT_EQ(written, ReadText(kResources / (std::string(name) + ".ico"))) << name;
    }
}

TEST(MakeIcons, TheProgramIconIsDish2AtEveryDrawnSizeAndEnlarged) {
    const std::string written = ReadText(kResources / "Program.ico");
    const DecodeResult back = DecodeIco(std::vector<std::uint8_t>(written.begin(), written.end()));
    ASSERT_TRUE(back.error.empty()) << back.error;
    std::vector<Picture> expected;
    for (const int size : DishSizes()) {
        expected.push_back(Art(DishFile(size).c_str())[2]);
    }
    // 64 from the 32 once it is drawn, from the 16 until then.
    const std::vector<int> sizes = DishSizes();
    const auto at32 = std::find(sizes.begin(), sizes.end(), 32);
    const Picture source = expected[at32 != sizes.end() ? at32 - sizes.begin() : 0];
    ASSERT_EQ(64 % source.width, 0);
    expected.push_back(Enlarge(source, 64 / source.width));
    ASSERT_EQ(back.pictures.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(back.pictures[i].width, expected[i].width);
        EXPECT_EQ(back.pictures[i].pixels, expected[i].pixels) << expected[i].width;
    }
    EXPECT_EQ(back.pngWidths, std::vector<int>{256}) << "the largest as PNG";
}

TEST(MakeIcons, CheckNamesTheIconThatDriftedAndThePixel) {
    TempDir temp;
    const std::vector<PathString> dish{(kResources / "dish16.txt").native()};
    ASSERT_EQ(RunProgram(MakeIcons(), Args({temp.path()}, dish)).exitCode, 0);
    ASSERT_EQ(RunProgram(MakeIcons(), Args({"--check", temp.path()}, dish)).exitCode, 0);

    // Pixel 0,0 of a 16 x 16 picture is the high nibble of the first byte of its top row,
    // which is the last colour row in the file.
    const std::filesystem::path dish4 = temp.path() / "Dish4.ico";
    std::string bytes = ReadText(dish4);
    bytes[22 + 40 + 64 + 15 * 8] = static_cast<char>(0x90);
    bytes[22 + 40 + 64 + 128 + 15 * 4] = 0x7C;  // and unmask it
    std::ofstream(dish4, std::ios::binary | std::ios::trunc) << bytes;
    std::filesystem::remove(temp.path() / "Dish6.ico");

    const ProcessOutput run = RunProgram(MakeIcons(), Args({"--check", temp.path()}, dish));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Dish4.ico: not what"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(pixel 0,0 of the 16x16 differs)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Dish6.ico: missing"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Dish5.ico"), std::string::npos) << run.err;
    EXPECT_EQ(ReadText(dish4), bytes) << "--check writes nothing";
}

TEST(MakeIcons, BadArtAndBadUseAreReported) {
    TempDir temp;
    const std::filesystem::path art = temp.path() / "bad.txt";
    std::ofstream(art) << "colour g green\npicture A 2x1\ngx\n";
    const ProcessOutput bad = RunProgram(MakeIcons(), {temp.path(), art});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, art.string() + ": line 3: 'x' in column 2 is not in the legend\n");
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "A.ico"));

    for (const std::vector<PathString>& args :
         {std::vector<PathString>{}, std::vector<PathString>{"--check", temp.path()}}) {
        const ProcessOutput usage = RunProgram(MakeIcons(), args);
        EXPECT_EQ(usage.exitCode, 2);
        EXPECT_NE(usage.err.find("usage: make_icons [--check] DIR ART..."), std::string::npos);
    }
}

}  // namespace
}  // namespace vantorel::icon_art
