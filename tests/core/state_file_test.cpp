#include "core/state_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"

namespace vantorel {
namespace {

using testing_support::ClientWithState;
using testing_support::TempDir;

// A real client's file: LF-ended name=value lines, "prog=" on the fifth.
constexpr std::string_view kClientFile =
    "ncfft=118733\ncr=-1.274413e-02\nfl=65536\ncpu=18245.531250\nprog=0.475937\n"
    "potfreq=29311\noutfilepos=47190\n";

struct TextCase {
    const char* name;
    std::string text;
    std::optional<double> progress;
};

class ProgressFromStateTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ProgressFromStateTextTest, SearchesOnlyTheFirstField) {
    const std::optional<double> got = ProgressFromStateText(GetParam().text);
    ASSERT_EQ(got.has_value(), GetParam().progress.has_value());
    if (got) {
        EXPECT_DOUBLE_EQ(*got, *GetParam().progress);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProgressFromStateTextTest,
    testing::Values(
        TextCase{"SevenCharactersAfterTheTag", "prog=0.851234", 0.85123},
        TextCase{"FinishedUnitReadsOne", "prog=1.000000", 1.0},
        TextCase{"ShortValue", "prog=0.5", 0.5}, TextCase{"LeadingBlanks", "   prog=0.5", 0.5},
        TextCase{"FieldEndsAtComma", "a,prog=0.5", std::nullopt},
        TextCase{"TagBeforeComma", "prog=0.25,prog=0.75", 0.25},
        TextCase{"OtherCase", "Prog=0.5", std::nullopt}, TextCase{"TagAtEndOfField", "prog=", 0.0},
        TextCase{"TagAtEndBeforeComma", "x prog=,0.5", 0.0},
        TextCase{"EmptyText", "", std::nullopt},
        TextCase{"BlankFirstLineCrLf", "\r\nprog=0.5\r\n", std::nullopt},
        TextCase{"OnlyBlanksThenCr", "   \rprog=0.5", std::nullopt},
        TextCase{"ThirdOfThreeCrLfLines", "a=1\r\nb=2\r\nprog=0.5\r\n", std::nullopt},
        TextCase{"BareCrEndsField", "a=1\rprog=0.5", std::nullopt},
        TextCase{"LfLinesAreOneField", std::string(kClientFile), 0.47593},
        TextCase{"BlankFirstLineLf", "\nprog=0.5\n", 0.5},
        TextCase{"LfLinesThenCommaBeforeTag", "a=1\nb=2,3\nprog=0.5\n", std::nullopt},
        TextCase{"QuotedField", "\"prog=0.5,x\"", 0.5},
        TextCase{"QuotedFieldStopsAtQuote", "\"x\"prog=0.5", std::nullopt},
        TextCase{"UnclosedQuote", "\"prog=0.5", std::nullopt},
        TextCase{"QuotedSliceCutAtQuote", "\"prog=0.12\"345", 0.12},
        TextCase{"FirstTagCounts", "prog=0.1 prog=0.9", 0.1},
        TextCase{"NotFinite", "prog=9E9999", std::nullopt}, TextCase{"Negative", "prog=-0.5", -0.5},
        TextCase{"GarbageAfterTag", "prog=abc", 0.0}, TextCase{"TagInsideWord", "xprog=0.3", 0.3},
        TextCase{"NulBytesAreOrdinary", std::string("a\0prog=0.5", 10), 0.5}),
    testing_support::CaseName());

TEST(StateFilePath, JoinsTheTextAsTyped) {
    const PathString sep(1, kPathSeparator);
    EXPECT_EQ(StateFilePath(VANTOREL_PATH("dir")), VANTOREL_PATH("dir") + sep + kStateFileName);
    EXPECT_EQ(StateFilePath(VANTOREL_PATH("dir") + sep),
              VANTOREL_PATH("dir") + sep + sep + kStateFileName);
    EXPECT_EQ(StateFilePath(VANTOREL_PATH(" d ")), VANTOREL_PATH(" d ") + sep + kStateFileName);
}

struct FileCase {
    const char* name;
    std::string bytes;
    std::optional<double> progress;
};

class ReadClientProgressTest : public testing::TestWithParam<FileCase> {};

TEST_P(ReadClientProgressTest, ReadsARealFile) {
    TempDir temp;
    const PathString dir = ClientWithState(temp, "client", GetParam().bytes);
    const std::optional<double> got = ReadClientProgress(dir);
    ASSERT_EQ(got.has_value(), GetParam().progress.has_value());
    if (got) {
        EXPECT_DOUBLE_EQ(*got, *GetParam().progress);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadClientProgressTest,
    testing::Values(FileCase{"Lf", std::string(kClientFile), 0.47593},
                    FileCase{"CrLfFirstLine", "prog=0.851234\r\nx=1\r\n", 0.85123},
                    FileCase{"CrLfLaterLine", "a=1\r\nb=2\r\nprog=0.5\r\n", std::nullopt},
                    FileCase{"Cr", "prog=0.25\rprog=0.75\r", 0.25},
                    FileCase{"Quoted", "  \"prog=0.625\"\r\n", 0.625},
                    FileCase{"Comma", "a,prog=0.5\n", std::nullopt},
                    FileCase{"BlankFirstLine", "\r\nprog=0.5\r\n", std::nullopt},
                    FileCase{"Empty", "", std::nullopt},
                    FileCase{"Finished", "prog=1.000000\n", 1.0}),
    testing_support::CaseName());

TEST(ReadClientProgress, MissingDirectoryOrFileIsNoValue) {
    TempDir temp;
    EXPECT_EQ(ReadClientProgress((temp.path() / "nowhere").native()), std::nullopt);
    EXPECT_EQ(ReadClientProgress(temp.Dir("empty-dir").native()), std::nullopt);
    EXPECT_EQ(ReadClientProgress(PathString{}), std::nullopt);
}

TEST(ReadClientProgress, StateFileThatIsADirectoryIsNoValue) {
    TempDir temp;
    const auto dir = temp.Dir("client");
    std::filesystem::create_directory(dir / "State.SAH");
    EXPECT_EQ(ReadClientProgress(dir.native()), std::nullopt);
}

TEST(ReadClientProgress, TrailingSeparatorIsAccepted) {
    TempDir temp;
    PathString dir = ClientWithState(temp, "client", "prog=0.5\n");
    dir += kPathSeparator;
    EXPECT_EQ(ReadClientProgress(dir), 0.5);
}

TEST(ReadClientProgress, NonAsciiDirectory) {
    TempDir temp;
    // "Zähler Ω 計" in UTF-8 (u8 literals are char8_t in C++20).
    const std::filesystem::path name(std::u8string(u8"Z\u00e4hler \u03a9 \u8a08"));
    const PathString dir = ClientWithState(temp, name, "prog=0.3125\n");
    EXPECT_EQ(ReadClientProgress(dir), 0.3125);
}

TEST(ReadClientProgress, OnlyTheFirstSixtyFourKibibytesAreRead) {
    TempDir temp;
    // A field running on past the limit: its tag is found inside the limit only.
    std::string inside(kStateReadLimit - 100, 'x');
    inside += "prog=0.75";
    inside += std::string(2'000'000, 'y');
    EXPECT_EQ(ReadClientProgress(ClientWithState(temp, "inside", inside)), 0.75);

    std::string beyond(kStateReadLimit, 'x');
    beyond += "prog=0.75\n";
    EXPECT_EQ(ReadClientProgress(ClientWithState(temp, "beyond", beyond)), std::nullopt);

    // The tag ends at the limit: its slice is empty.
    std::string edge(kStateReadLimit - 5, 'x');
    edge += "prog=0.875";
    EXPECT_EQ(ReadClientProgress(ClientWithState(temp, "edge", edge)), 0.0);
}

TEST(ReadClientProgress, LeavesTheFileAsItWas) {
    TempDir temp;
    const PathString dir = ClientWithState(temp, "client", "prog=0.5\n");
    const auto file = std::filesystem::path(dir) / "State.SAH";
    const auto before = std::filesystem::last_write_time(file);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadClientProgress(dir), 0.5);
    }
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
    EXPECT_EQ(std::filesystem::file_size(file), 9u);
    // Nothing is held open: the file can be removed at once.
    EXPECT_TRUE(std::filesystem::remove(file));
}

}  // namespace
}  // namespace vantorel
