// The console probe, run as a user runs it.

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace vantorel {
namespace {

using namespace testing_support;

std::filesystem::path Probe() {
#ifdef _WIN32
    return ProgramDirectory() / L"vantorel-probe.exe";
#else
    return ProgramDirectory() / "vantorel-probe";
#endif
}

// On Windows the probe writes numbers as the user does: with the user's decimal symbol.
std::string UserDecimal() {
#ifdef _WIN32
    wchar_t symbol[8] = {};
    char utf8[32] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, symbol, 8) > 0 &&
        ::WideCharToMultiByte(CP_UTF8, 0, symbol, -1, utf8, sizeof utf8, nullptr, nullptr) > 0) {
        return utf8;
    }
#endif
    return ".";
}

TEST(Probe, PrintsOnePollInFiveLines) {
    const std::string point = UserDecimal();
    TempDir temp;
    const PathString one = ClientWithState(temp, "one", "prog=0.475937\n");
    const PathString three = ClientWithState(temp, "three", "prog=1.000000\n");
    const ProcessOutput run = RunProgram(Probe(), {one, (temp.path() / "absent").native(), three});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(WithoutCarriageReturns(run.out),
              "menu 1: \"Progress: 47" + point + "59%\"\n" + "menu 2: -\n" +
                  "menu 3: \"Progress: 100" + point + "00%\"\n" + "tooltip: \"47" + point +
                  "59% \\ 100" + point + "00%\"\n" + "icon: Dish4\n");
}

TEST(Probe, AnEmptyArgumentStopsThePoll) {
    TempDir temp;
    const PathString one = ClientWithState(temp, "one", "prog=0.5\n");
    const ProcessOutput run = RunProgram(Probe(), {PathString{}, one});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(WithoutCarriageReturns(run.out),
              "menu 1: -\nmenu 2: -\nmenu 3: -\ntooltip: \"\"\nicon: Dish0\n");
}

TEST(Probe, WrongArgumentCountIsAUsageError) {
    for (const std::vector<PathString>& args :
         {std::vector<PathString>{}, std::vector<PathString>(4, VANTOREL_PATH("x"))}) {
        const ProcessOutput run = RunProgram(Probe(), args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: vantorel-probe DIR [DIR [DIR]]"), std::string::npos);
    }
}

}  // namespace
}  // namespace vantorel
