// FormatPercent and IconKey over any double, NaN and infinities included, taken from the
// input's bytes; the same bytes also give a fraction spread evenly over 0 to 1, where the
// rules matter most.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "core/numbers.h"
#include "tests/fuzz/check.h"
#include "tests/fuzz/reference.h"

namespace {

const vantorel::NumberLocale kLocales[] = {{".", ","}, {",", "."}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void CheckPercent(double value, const vantorel::NumberLocale& locale) {
    const std::string text = vantorel::FormatPercent(value, locale);
    FUZZ_CHECK(!text.empty() && text.back() == '%', "%a gave \"%s\"", value, text.c_str());
    const double hundredfold = value * 100.0;
    if (!std::isfinite(hundredfold)) {
        return;
    }

    // [-] integer digits without a leading zero, the decimal, exactly two digits, '%'.
    std::string_view rest(text);
    rest.remove_suffix(1);
    const bool negative = !rest.empty() && rest.front() == '-';
    if (negative) {
        rest.remove_prefix(1);
    }
    const std::size_t point = rest.rfind(locale.decimal);
    FUZZ_CHECK(point != std::string_view::npos, "%a gave \"%s\": no decimal", value, text.c_str());
    const std::string_view integer = rest.substr(0, point);
    const std::string_view decimals = rest.substr(point + locale.decimal.size());
    FUZZ_CHECK(decimals.size() == 2 && IsDigit(decimals[0]) && IsDigit(decimals[1]),
               "%a gave \"%s\": not two decimals", value, text.c_str());
    FUZZ_CHECK(fuzz_reference::AllDigits(integer) && (integer.empty() || integer.front() != '0'),
               "%a gave \"%s\": bad integer part", value, text.c_str());
    FUZZ_CHECK(!(negative && integer.empty() && decimals == "00"), "%a gave \"%s\"", value,
               text.c_str());

    std::string plain(negative ? "-" : "");
    plain += integer;
    plain += '.';
    plain += decimals;
    const double back = fuzz_reference::ParseC(plain);
    // Two decimals are within half a hundredth; the hundredfold itself may be a rounding of
    // its own, and huge values are written in full but read back to the nearest double.
    const double slack = 0.005 + std::fabs(hundredfold) * 0x1p-50;
    FUZZ_CHECK(std::fabs(back - hundredfold) <= slack, "%a (x100 = %.17g) gave \"%s\"", value,
               hundredfold, text.c_str());
}

void CheckKey(double value) {
    const std::string key = vantorel::IconKey(value);
    FUZZ_CHECK(key.size() == 5 && key.compare(0, 4, "Dish") == 0 && key[4] >= '0' && key[4] <= '6',
               "%a gave \"%s\"", value, key.c_str());
    if (value >= 0.0 && value <= 1.0) {
        const double sixths = std::floor(value * 6.0);
        FUZZ_CHECK(key[4] - '0' == static_cast<int>(sixths), "%a gave \"%s\"", value, key.c_str());
    }
    // Never a smaller picture for a larger average.
    const double above = std::nextafter(value, std::numeric_limits<double>::infinity());
    if (value == value && above > value) {
        FUZZ_CHECK(vantorel::IconKey(above) >= key, "%a gave \"%s\", %a gave \"%s\"", value,
                   key.c_str(), above, vantorel::IconKey(above).c_str());
    }
}

void Check(double value) {
    for (const vantorel::NumberLocale& locale : kLocales) {
        CheckPercent(value, locale);
    }
    CheckKey(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    Check(value);
    Check(static_cast<double>(bits >> 11) * 0x1p-53);  // 0 <= fraction < 1
    return 0;
}
