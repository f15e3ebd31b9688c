#include "core/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

namespace vantorel {
namespace {

const NumberLocale kDot{".", ","};
const NumberLocale kComma{",", "."};

struct LenientCase {
    const char* text;
    double expected;
};

class LenientNumberTest : public testing::TestWithParam<LenientCase> {};

TEST_P(LenientNumberTest, ReadsTheAcceptedPrefix) {
    EXPECT_DOUBLE_EQ(LenientNumber(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LenientNumberTest,
    testing::Values(LenientCase{".99999", 0.99999}, LenientCase{"", 0.0}, LenientCase{" 12", 12.0},
                    LenientCase{"60.4", 60.4}, LenientCase{"1 0", 10.0}, LenientCase{"5abc", 5.0},
                    LenientCase{".85123", 0.85123}, LenientCase{"abc", 0.0}, LenientCase{".", 0.0},
                    LenientCase{"-", 0.0}, LenientCase{"-5", -5.0}, LenientCase{"+7", 7.0},
                    LenientCase{" -\t1\n2", -12.0}, LenientCase{"1.2.3", 1.2},
                    LenientCase{"1e3", 1000.0}, LenientCase{"2E-2", 0.02}, LenientCase{"1e", 1.0},
                    LenientCase{"1e+", 1.0}, LenientCase{"1 e 2", 100.0}, LenientCase{"3,5", 3.0},
                    LenientCase{"0.851234", 0.851234}, LenientCase{"1.00000", 1.0},
                    LenientCase{"--5", 0.0}, LenientCase{"1e-400", 0.0},
                    LenientCase{"000000000000000000000000000042", 42.0},
                    LenientCase{"0.000e99999999999999999999", 0.0}));

TEST(LenientNumber, TooLargeIsInfinityWithItsSign) {
    EXPECT_EQ(LenientNumber("9E9999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LenientNumber("-9E9999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(LenientNumber("1e99999999999999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LenientNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
}

struct StrictCase {
    const char* text;
    const NumberLocale* locale;
    std::optional<double> expected;
};

class StrictNumberTest : public testing::TestWithParam<StrictCase> {};

TEST_P(StrictNumberTest, AcceptsOnlyAWholeNumberInTheLocale) {
    const StrictCase& c = GetParam();
    const std::optional<double> got = StrictNumber(c.text, *c.locale);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << '"' << c.text << '"';
    if (got) {
        EXPECT_DOUBLE_EQ(*got, *c.expected) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrictNumberTest,
    testing::Values(
        StrictCase{"2.5", &kDot, 2.5}, StrictCase{"60", &kDot, 60.0}, StrictCase{" 7 ", &kDot, 7.0},
        StrictCase{"1,000", &kDot, 1000.0}, StrictCase{"12,345,678.5", &kDot, 12345678.5},
        StrictCase{"-3", &kDot, -3.0}, StrictCase{"+3", &kDot, 3.0}, StrictCase{".5", &kDot, 0.5},
        StrictCase{"5.", &kDot, 5.0}, StrictCase{"1e3", &kDot, 1000.0},
        StrictCase{"1E-1", &kDot, 0.1}, StrictCase{"5abc", &kDot, std::nullopt},
        StrictCase{"", &kDot, std::nullopt}, StrictCase{"   ", &kDot, std::nullopt},
        StrictCase{"1 0", &kDot, std::nullopt}, StrictCase{".", &kDot, std::nullopt},
        StrictCase{"-", &kDot, std::nullopt}, StrictCase{"1,0", &kDot, std::nullopt},
        StrictCase{"1000,000", &kDot, std::nullopt}, StrictCase{",100", &kDot, std::nullopt},
        StrictCase{"1,", &kDot, std::nullopt}, StrictCase{"1,0000", &kDot, std::nullopt},
        StrictCase{"1.2.3", &kDot, std::nullopt}, StrictCase{"1e", &kDot, std::nullopt},
        StrictCase{"e5", &kDot, std::nullopt}, StrictCase{"9E9999", &kDot, std::nullopt},
        StrictCase{"2,5", &kComma, 2.5}, StrictCase{"1.000", &kComma, 1000.0},
        StrictCase{"1.000,25", &kComma, 1000.25}, StrictCase{"2.5", &kComma, std::nullopt},
        StrictCase{"60", &kComma, 60.0}, StrictCase{"1,2,3", &kComma, std::nullopt}));

TEST(StrictNumber, SeparatorsLongerThanOneByte) {
    const NumberLocale thinSpace{",", "\xE2\x80\xAF"};  // U+202F between thousands
    EXPECT_EQ(StrictNumber("1\xE2\x80\xAF"
                           "000,5",
                           thinSpace),
              1000.5);
    EXPECT_EQ(StrictNumber("1\xE2\x80"
                           "000",
                           thinSpace),
              std::nullopt);
}

TEST(StrictNumber, SameSeparatorForBothMeansNoGrouping) {
    const NumberLocale odd{".", "."};
    EXPECT_EQ(StrictNumber("1.5", odd), 1.5);
    EXPECT_EQ(StrictNumber("1.500.000", odd), std::nullopt);
}

struct PercentCase {
    double fraction;
    const char* dot;
    const char* comma;
};

class FormatPercentTest : public testing::TestWithParam<PercentCase> {};

TEST_P(FormatPercentTest, WritesTheHundredfoldWithTwoDecimals) {
    EXPECT_EQ(FormatPercent(GetParam().fraction, kDot), GetParam().dot);
    EXPECT_EQ(FormatPercent(GetParam().fraction, kComma), GetParam().comma);
}

INSTANTIATE_TEST_SUITE_P(
    Fractions, FormatPercentTest,
    testing::Values(PercentCase{0.85123, "85.12%", "85,12%"}, PercentCase{0.5, "50.00%", "50,00%"},
                    PercentCase{0.09, "9.00%", "9,00%"}, PercentCase{0.004, ".40%", ",40%"},
                    PercentCase{0.0, ".00%", ",00%"}, PercentCase{1.0, "100.00%", "100,00%"},
                    PercentCase{0.475937, "47.59%", "47,59%"},
                    PercentCase{0.99999, "100.00%", "100,00%"},
                    PercentCase{0.99994, "99.99%", "99,99%"},
                    PercentCase{12.3456, "1234.56%", "1234,56%"},
                    PercentCase{-0.05, "-5.00%", "-5,00%"}, PercentCase{-0.00001, ".00%", ",00%"},
                    PercentCase{-0.0, ".00%", ",00%"}));

TEST(FormatPercent, ExactHalvesRoundAwayFromZero) {
    // Hundredfolds that a double holds exactly with a 5 in the third decimal.
    struct Tie {
        double hundredfold;
        const char* expected;
    };
    for (const Tie tie :
         {Tie{12.125, "12.13%"}, Tie{12.375, "12.38%"}, Tie{0.625, ".63%"}, Tie{50.875, "50.88%"},
          Tie{-0.125, "-.13%"}, Tie{100000000000000.375, "100000000000000.38%"},
          Tie{-17592186044416.125, "-17592186044416.13%"}}) {
        const double fraction = tie.hundredfold / 100.0;
        ASSERT_EQ(fraction * 100.0, tie.hundredfold) << "not an exact tie: " << tie.hundredfold;
        EXPECT_EQ(FormatPercent(fraction, kDot), tie.expected) << tie.hundredfold;
    }
}

TEST(FormatPercent, HugeIntegerPartsAreWrittenInFull) {
    EXPECT_EQ(FormatPercent(1e6, kDot), "100000000.00%");
    EXPECT_EQ(FormatPercent(1e300, kDot).size(), 303u + 4u);
}

// The C runtime's "%.2f" writes the exact binary value correctly rounded; away from the
// exact halves (which round away from zero here) FormatPercent must agree with it digit for
// digit, on both sides of the switch from the integer path to the runtime's own.
TEST(FormatPercent, AgreesWithTheRuntimesExactRoundingEverywhereButTies) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double scales[] = {1e-6,    1e-3, 1.0,  10.0, 1e4,   1e9,  1.7e11,
                             1.76e11, 1e12, 1e15, 1e20, 1e100, 1e300};
    int compared = 0;
    for (const double scale : scales) {
        for (int i = 0; i < 2000; ++i) {
            double fraction = unit(random) * scale;
            if (i % 4 == 1) {
                // Right next to a half of a hundredth, where a sloppy rounding goes wrong.
                const double hundredfold = (std::floor(unit(random) * scale * 1e4) + 0.5) / 100.0;
                fraction = std::nextafter(hundredfold, i % 8 == 1 ? 0.0 : 1e300) / 100.0;
            }
            const double hundredfold = fraction * 100.0;
            const double eighths = (hundredfold - std::floor(hundredfold)) * 8.0;
            if (eighths == std::floor(eighths) && std::fmod(eighths, 2.0) == 1.0) {
                continue;  // an exact tie
            }
            char expected[400];
            std::snprintf(expected, sizeof expected, "%.2f%%", hundredfold);
            std::string want = expected;
            if (want.rfind("0.", 0) == 0) {
                want.erase(0, 1);
            }
            ASSERT_EQ(FormatPercent(fraction, kDot), want) << std::hexfloat << fraction;
            ++compared;
        }
    }
    EXPECT_GT(compared, 25000);
}

struct KeyCase {
    double average;
    const char* key;
};

class IconKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(IconKeyTest, OneStepPerSixthHeldWithinRange) {
    EXPECT_EQ(IconKey(GetParam().average), GetParam().key) << GetParam().average;
}

INSTANTIATE_TEST_SUITE_P(
    Averages, IconKeyTest,
    testing::Values(KeyCase{0.0, "Dish0"}, KeyCase{0.5, "Dish3"}, KeyCase{0.99999, "Dish5"},
                    KeyCase{1.0, "Dish6"}, KeyCase{1.0 / 6.0, "Dish1"},
                    KeyCase{std::nextafter(1.0 / 6.0, 0.0), "Dish0"}, KeyCase{2.0 / 6.0, "Dish2"},
                    KeyCase{0.375, "Dish2"}, KeyCase{5.0 / 6.0, "Dish5"}, KeyCase{1.2, "Dish6"},
                    KeyCase{1e300, "Dish6"}, KeyCase{-0.01, "Dish0"}, KeyCase{-0.0, "Dish0"},
                    KeyCase{std::numeric_limits<double>::quiet_NaN(), "Dish0"},
                    KeyCase{std::numeric_limits<double>::infinity(), "Dish6"},
                    KeyCase{-std::numeric_limits<double>::infinity(), "Dish0"}));

struct PeriodCase {
    const char* text;
    const NumberLocale* locale;
    std::optional<std::uint32_t> periodMs;
};

class IntervalPeriodTest : public testing::TestWithParam<PeriodCase> {};

TEST_P(IntervalPeriodTest, SecondsBecomeAPeriodWithinOneToSixtySeconds) {
    EXPECT_EQ(IntervalPeriodMs(GetParam().text, *GetParam().locale), GetParam().periodMs)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntervalPeriodTest,
    testing::Values(PeriodCase{"2.5", &kDot, 2500u}, PeriodCase{"60", &kDot, 60000u},
                    PeriodCase{"1", &kDot, 1000u}, PeriodCase{" 7", &kDot, 7000u},
                    PeriodCase{"2,5", &kComma, 2500u}, PeriodCase{"5abc", &kDot, std::nullopt},
                    PeriodCase{"1 0", &kDot, std::nullopt},
                    PeriodCase{"1,000", &kDot, std::nullopt}, PeriodCase{"0.9995", &kDot, 1000u},
                    PeriodCase{"0.9994", &kDot, std::nullopt}, PeriodCase{"60.0005", &kDot, 60000u},
                    PeriodCase{"60.0006", &kDot, std::nullopt},
                    PeriodCase{"60.0004", &kDot, 60000u}, PeriodCase{"0", &kDot, std::nullopt},
                    PeriodCase{"-5", &kDot, std::nullopt}, PeriodCase{"", &kDot, std::nullopt}));

TEST(TimerPeriodMs, RoundsHalvesToEven) {
    struct Half {
        double seconds;
        double periodMs;
    };
    for (const Half half : {Half{1.0005, 1000.0}, Half{1.0015, 1002.0}, Half{10.0005, 10000.0},
                            Half{0.0025, 2.0}, Half{0.0035, 4.0}}) {
        ASSERT_EQ(std::fmod(half.seconds * 1000.0, 1.0), 0.5) << "not an exact half";
        EXPECT_EQ(TimerPeriodMs(half.seconds), half.periodMs) << half.seconds;
    }
    EXPECT_EQ(TimerPeriodMs(2.5), 2500.0);
    EXPECT_EQ(TimerPeriodMs(2.0005), 2001.0);  // held just above the half
}

TEST(StrictNumber, FivabcFailsWhileItsLenientNumberIsFive) {
    EXPECT_EQ(StrictNumber("5abc", kDot), std::nullopt);
    EXPECT_EQ(LenientNumber("5abc"), 5.0);
}

}  // namespace
}  // namespace vantorel
