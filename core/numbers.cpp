#include "core/numbers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace vantorel {
namespace {

// Far beyond any double's decimal range, small enough that adding digit counts cannot overflow.
constexpr std::int64_t kExponentCap = 1'000'000'000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void AppendExponentDigit(std::int64_t& exponent, char digit) {
    if (exponent < kExponentCap) {
        exponent = exponent * 10 + (digit - '0');
    }
}

// mantissa: ASCII digits with at most one '.', at least one digit. Out-of-range results
// saturate: infinity when the number is too large, zero when it is too small. strtod rather
// than from_chars: the text is plain "C" locale digits (the program never sets a locale), and
// the C runtime's conversion is already in the program, where from_chars would add tables of
// a hundred kilobytes to it.
double ToDouble(const std::string& mantissa, std::int64_t exponent, bool negative) {
    std::string text = mantissa;
    text += 'e';
    text += std::to_string(exponent);
    const double value = std::strtod(text.c_str(), nullptr);
    return negative ? -value : value;
}

// The exact binary value of a non-negative double times 100, rounded to a whole number; an
// exact half rounds up (away from zero), as a reader of "12.125%" expects. Done in integers,
// since the C runtime's formatting is most of a tick's work otherwise; nothing for values
// whose hundredfold no longer fits the exact range of a double.
std::optional<std::uint64_t> RoundToHundredths(double value) {
    if (!(value < 17592186044416.0)) {  // 2^44: the hundredfold stays below 2^51
        return std::nullopt;
    }
    // value * 100 exactly, as product + error (Dekker's product; 100 needs no splitting).
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double product = value * 100.0;
    const double scaled = kSplitter * value;
    const double high = scaled - (scaled - value);
    const double low = value - high;
    const double error = (high * 100.0 - product) + low * 100.0;
    const double whole = std::floor(product);
    // Both terms are multiples of the product's last place, so this is exact, and the error
    // is smaller than that place: it can only decide when the difference is zero.
    const double aboveHalf = (product - whole) - 0.5;
    const bool up = aboveHalf > 0.0 || (aboveHalf == 0.0 && error >= 0.0);
    return static_cast<std::uint64_t>(whole) + (up ? 1 : 0);
}

// mantissa * 2^exponent written out in full, up to the 309 digits of the largest double:
// shifted in base 10^9 limbs, least significant first.
std::string WholeDigits(std::uint64_t mantissa, int exponent) {
    constexpr std::uint64_t kLimb = 1'000'000'000;
    std::vector<std::uint32_t> limbs;
    for (; mantissa != 0; mantissa /= kLimb) {
        limbs.push_back(static_cast<std::uint32_t>(mantissa % kLimb));
    }
    while (exponent > 0) {
        const int shift = std::min(exponent, 32);  // a limb shifted by 32 still fits 64 bits
        std::uint64_t carry = 0;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t value = (std::uint64_t{limb} << shift) + carry;
            limb = static_cast<std::uint32_t>(value % kLimb);
            carry = value / kLimb;
        }
        for (; carry != 0; carry /= kLimb) {
            limbs.push_back(static_cast<std::uint32_t>(carry % kLimb));
        }
        exponent -= shift;
    }
    std::string text = std::to_string(limbs.back());
    for (auto limb = limbs.rbegin() + 1; limb != limbs.rend(); ++limb) {
        const std::string digits = std::to_string(*limb);
        text.append(9 - digits.size(), '0');
        text += digits;
    }
    return text;
}

// 0 to 99 as two digits.
std::string TwoDigits(int hundredths) {
    return {static_cast<char>('0' + hundredths / 10), static_cast<char>('0' + hundredths % 10)};
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view piece) {
    return !piece.empty() && text.substr(at, piece.size()) == piece;
}

}  // namespace

double LenientNumber(std::string_view text) {
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) {
            ++i;
        }
    };

    skipBlanks();
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    std::string mantissa;
    bool seenPoint = false;
    bool seenDigit = false;
    for (;;) {
        skipBlanks();
        if (i < text.size() && IsDigit(text[i])) {
            mantissa += text[i];
            seenDigit = true;
        } else if (i < text.size() && text[i] == '.' && !seenPoint) {
            mantissa += '.';
            seenPoint = true;
        } else {
            break;
        }
        ++i;
    }
    if (!seenDigit) {
        return 0.0;
    }

    // An "E" without digits after it adds nothing: "1e" reads as 1.
    std::int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        skipBlanks();
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        for (;;) {
            skipBlanks();
            if (i >= text.size() || !IsDigit(text[i])) {
                break;
            }
            AppendExponentDigit(exponent, text[i]);
            ++i;
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    return ToDouble(mantissa, exponent, negative);
}

std::optional<double> StrictNumber(std::string_view text, const NumberLocale& locale) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }

    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    const std::string_view group =
        locale.grouping == locale.decimal ? std::string_view{} : std::string_view{locale.grouping};
    std::string mantissa;
    std::size_t leadingGroup = 0;  // digits before the first grouping separator
    while (i < text.size() && IsDigit(text[i])) {
        mantissa += text[i++];
        ++leadingGroup;
    }
    if (leadingGroup > 0 && StartsWith(text, i, group)) {
        // Grouped thousands: 1 to 3 leading digits, then groups of exactly three.
        if (leadingGroup > 3) {
            return std::nullopt;
        }
        while (StartsWith(text, i, group)) {
            i += group.size();
            for (int k = 0; k < 3; ++k, ++i) {
                if (i >= text.size() || !IsDigit(text[i])) {
                    return std::nullopt;
                }
                mantissa += text[i];
            }
        }
        if (i < text.size() && IsDigit(text[i])) {
            return std::nullopt;
        }
    }

    bool anyDigit = !mantissa.empty();
    if (StartsWith(text, i, locale.decimal)) {
        i += locale.decimal.size();
        mantissa += '.';
        while (i < text.size() && IsDigit(text[i])) {
            mantissa += text[i++];
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }

    std::int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        if (i >= text.size() || !IsDigit(text[i])) {
            return std::nullopt;
        }
        while (i < text.size() && IsDigit(text[i])) {
            AppendExponentDigit(exponent, text[i++]);
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }

    const double value = ToDouble(mantissa, exponent, negative);
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string FormatPercent(double fraction, const NumberLocale& locale) {
    const double hundredfold = fraction * 100.0;
    if (!std::isfinite(hundredfold)) {
        return std::isnan(hundredfold) ? "nan%" : (hundredfold > 0 ? "inf%" : "-inf%");
    }

    const double magnitude = std::fabs(hundredfold);
    std::string integerDigits;
    std::string decimals;
    if (const std::optional<std::uint64_t> cents = RoundToHundredths(magnitude)) {
        integerDigits = std::to_string(*cents / 100);
        decimals = TwoDigits(static_cast<int>(*cents % 100));
    } else {
        // Beyond that range a double has at most eight binary places: it is mantissa *
        // 2^exponent, and its hundredths come from integers too.
        const auto bits = std::bit_cast<std::uint64_t>(magnitude);
        constexpr std::uint64_t kHidden = std::uint64_t{1} << 52;
        const std::uint64_t mantissa = (bits & (kHidden - 1)) | kHidden;
        const int exponent = static_cast<int>(bits >> 52) - 1075;
        if (exponent < 0) {
            const int places = -exponent;
            std::uint64_t whole = mantissa >> places;
            const std::uint64_t part = mantissa & ((std::uint64_t{1} << places) - 1);
            // An exact half of a hundredth rounds up, as on the fast path.
            std::uint64_t hundredths = (part * 100 + (std::uint64_t{1} << (places - 1))) >> places;
            if (hundredths == 100) {
                ++whole;
                hundredths = 0;
            }
            integerDigits = std::to_string(whole);
            decimals = TwoDigits(static_cast<int>(hundredths));
        } else {
            integerDigits = WholeDigits(mantissa, exponent);
            decimals = "00";
        }
    }
    if (integerDigits == "0") {
        integerDigits.clear();
    }

    std::string result;
    // A value that rounds to nothing carries no sign: "-.00%" would read as a fault.
    if (hundredfold < 0 && !(integerDigits.empty() && decimals == "00")) {
        result += '-';
    }
    result += integerDigits;
    result += locale.decimal;
    result += decimals;
    result += '%';
    return result;
}

std::string IconKey(double average) {
    int step = 0;
    if (average >= 0) {
        const double scaled = std::floor(average * 6.0);
        step = scaled >= 6.0 ? 6 : static_cast<int>(scaled);
    }
    return "Dish" + std::to_string(step);
}

double TimerPeriodMs(double seconds) {
    return std::nearbyint(seconds * 1000.0);
}

std::optional<std::uint32_t> IntervalPeriodMs(std::string_view text, const NumberLocale& locale) {
    const std::optional<double> seconds = StrictNumber(text, locale);
    if (!seconds) {
        return std::nullopt;
    }
    const double period = TimerPeriodMs(*seconds);
    if (!(period >= kMinPeriodMs && period <= kMaxPeriodMs)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(period);
}

}  // namespace vantorel
