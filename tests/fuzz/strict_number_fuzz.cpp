// StrictNumber over any bytes in three locales: it accepts exactly the texts its grammar
// allows, and then gives strtod's reading with grouping removed and the decimal made '.'.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>

#include "core/numbers.h"
#include "tests/fuzz/check.h"
#include "tests/fuzz/reference.h"

namespace {

const vantorel::NumberLocale kLocales[] = {
    {".", ","},
    {",", "."},
    {",", "\xE2\x80\xAF"},  // U+202F between thousands, as some locales write them
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const vantorel::NumberLocale& locale : kLocales) {
        std::optional<double> got;
        try {
            got = vantorel::StrictNumber(text, locale);
        } catch (const std::exception& e) {
            FUZZ_CHECK(false, "threw %s", e.what());
        }
        const std::optional<double> expected =
            fuzz_reference::Strict(text, locale.decimal, locale.grouping);
        FUZZ_CHECK(got.has_value() == expected.has_value(),
                   "text \"%.*s\" decimal '%s' grouping '%s': %s, expected %s",
                   static_cast<int>(size), text.data(), locale.decimal.c_str(),
                   locale.grouping.c_str(), got ? "accepted" : "refused",
                   expected ? "accepted" : "refused");
        if (got) {
            FUZZ_CHECK(*got == *expected, "text \"%.*s\" decimal '%s': got %a, expected %a",
                       static_cast<int>(size), text.data(), locale.decimal.c_str(), *got,
                       *expected);
        }
    }
    return 0;
}
