// LenientNumber over any bytes: it never throws and reads exactly the number the rule's
// accepted prefix gives, as strtod reads that prefix.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "core/numbers.h"
#include "tests/fuzz/check.h"
#include "tests/fuzz/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    double got = 0.0;
    try {
        got = vantorel::LenientNumber(text);
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, "threw %s", e.what());
    }
    const double expected = fuzz_reference::Lenient(text);
    FUZZ_CHECK(got == expected && std::signbit(got) == std::signbit(expected),
               "text \"%.*s\": got %a, expected %a (prefix \"%s\")", static_cast<int>(size),
               text.data(), got, expected, fuzz_reference::LenientPrefix(text).c_str());
    return 0;
}
