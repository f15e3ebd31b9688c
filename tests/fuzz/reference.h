#pragma once
// Readings of the number and state-file rules written apart from the core, character by
// character from their descriptions, for the fuzz targets to hold the core against. Built
// without sanitizers or libFuzzer's coverage hooks: only the core's branches should steer
// the fuzzing, and checks on every byte handled here would slow it tenfold.

#include <optional>
#include <string>
#include <string_view>

namespace fuzz_reference {

bool IsDigit(char c);
bool AllDigits(std::string_view text);

// strtod in the "C" locale; the text must be one strtod reads whole.
double ParseC(const std::string& text);

// The lenient rule's accepted prefix with its blanks dropped, empty when it has no digit.
std::string LenientPrefix(std::string_view text);
double Lenient(std::string_view text);

// The strict rule in a locale: the text strtod reads for it, or no value when the text is
// not a number there; Strict also refuses what is too large for a double.
std::optional<std::string> StrictCanonical(std::string_view text, std::string_view decimal,
                                           std::string_view grouping);
std::optional<double> Strict(std::string_view text, std::string_view decimal,
                             std::string_view grouping);

// The first delimited field of a state file's text, and the progress read from it.
std::optional<std::string_view> StateField(std::string_view text);
std::optional<double> StateProgress(std::string_view text);

}  // namespace fuzz_reference
