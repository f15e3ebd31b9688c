// The state-file parser over any file contents, cut as the reader cuts them at
// kStateReadLimit: it never crashes, gives no value or a finite fraction, agrees with a
// separate reading of the rule, and touches nothing past the bytes read (the bytes sit in a
// buffer of exactly that size, so AddressSanitizer stops any read beyond them).
//
// The first input byte picks a filler put in front of the rest, so that short inputs also
// land on the read limit: none (half the inputs), letters, or blanks (rarer: the field's
// leading blanks are skipped byte by byte, the dearest case to fuzz), up to just before it.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/state_file.h"
#include "tests/fuzz/check.h"
#include "tests/fuzz/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file;
    if (size > 0) {
        const std::uint8_t mode = data[0];
        ++data;
        --size;
        if ((mode & 7) >= 4) {
            // Ends the filler 1 to 249 bytes short of the limit.
            const std::size_t shortOfLimit = (std::size_t{mode} >> 3) * 8 + 1;
            file.assign(vantorel::kStateReadLimit - shortOfLimit, (mode & 7) == 7 ? ' ' : 'x');
        }
    }
    file.append(reinterpret_cast<const char*>(data), size);

    const std::size_t read = std::min(file.size(), vantorel::kStateReadLimit);
    const auto bytes = std::make_unique<char[]>(read);
    std::copy_n(file.data(), read, bytes.get());
    const std::string_view text(bytes.get(), read);

    const std::optional<std::string_view> field = vantorel::FirstStateField(text);
    const std::optional<std::string_view> expectedField = fuzz_reference::StateField(text);
    FUZZ_CHECK(field.has_value() == expectedField.has_value(), "field %s, expected %s",
               field ? "found" : "none", expectedField ? "found" : "none");
    if (field) {
        FUZZ_CHECK(*field == *expectedField, "field of %zu bytes, expected %zu", field->size(),
                   expectedField->size());
        FUZZ_CHECK(field->empty() || (field->data() >= text.data() &&
                                      field->data() + field->size() <= text.data() + text.size()),
                   "field lies outside the bytes read");
    }

    const std::optional<double> progress = vantorel::ProgressFromStateText(text);
    const std::optional<double> expected = fuzz_reference::StateProgress(text);
    FUZZ_CHECK(!progress || std::isfinite(*progress), "progress %a is not finite", *progress);
    FUZZ_CHECK(progress.has_value() == expected.has_value(), "progress %s, expected %s",
               progress ? "found" : "none", expected ? "found" : "none");
    if (progress) {
        FUZZ_CHECK(*progress == *expected, "progress %a, expected %a", *progress, *expected);
    }
    return 0;
}
