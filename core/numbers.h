#pragma once
// The text-and-number rules every part of the meter shares. Texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorel {

// The two separators of the user's number format. The Windows layer fills this from the
// user's locale; tests and the native probe pass their own.
struct NumberLocale {
    std::string decimal = ".";
    std::string grouping = ",";
};

// Reads the longest number at the start of the text, never failing: blanks, tabs and line
// feeds are skipped anywhere, "." is the decimal point in every locale, and a text without
// digits reads as 0. A number too large for a double reads as infinity with its sign.
double LenientNumber(std::string_view text);

// The whole text, less leading and trailing blanks, as a number in the locale's own format:
// optional sign, digits (grouped in threes by the locale's grouping separator, if at all),
// the locale's decimal separator with more digits, an optional exponent. Anything else, and
// a number too large for a double, is no value.
std::optional<double> StrictNumber(std::string_view text, const NumberLocale& locale);

// "###.00%": a fraction as a percentage with two decimals and no leading zero (0.004 gives
// ".40%"). Exact halves round away from zero.
std::string FormatPercent(double fraction, const NumberLocale& locale);

// "Dish0" to "Dish6" for an average from 0 to 1, one step per sixth; values outside that
// range (and not-a-number) are held at the nearest end.
std::string IconKey(double average);

// Seconds to a timer period: times 1000, rounded to the nearest millisecond, halves to even.
double TimerPeriodMs(double seconds);

// The poll periods the meter accepts, in milliseconds.
inline constexpr std::uint32_t kMinPeriodMs = 1000;
inline constexpr std::uint32_t kMaxPeriodMs = 60000;

// The interval text as a timer period, or no value when it is not a number to StrictNumber
// or its period lies outside kMinPeriodMs to kMaxPeriodMs.
std::optional<std::uint32_t> IntervalPeriodMs(std::string_view text, const NumberLocale& locale);

}  // namespace vantorel
