#pragma once
// A SETI@home text-mode client's progress, read from the state file in its directory.

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/path_text.h"

namespace vantorel {

inline constexpr PathChar kStateFileName[] = VANTOREL_PATH("State.SAH");

// Only the start of the file is read, so a runaway state file costs no more than a small one.
inline constexpr std::size_t kStateReadLimit = std::size_t{64} * 1024;

// The directory text as typed, the platform's separator, then the file name. A text that
// begins and ends with a double quote, with something between, is read as what lies between.
// A "\\?\" directory that ends in the separator gets no second one.
PathString StateFilePath(const PathString& directory);

// The first delimited field of the text: leading blanks skipped; a field that opens with a
// double quote runs to the next one, quotes excluded (no value when none closes it); any
// other field runs to the first comma or carriage return or the end of the text. A line feed
// alone does not end a field, so a file of LF-ended "name=value" lines is one field.
std::optional<std::string_view> FirstStateField(std::string_view text);

// The progress fraction in the first field of a state file's text: the seven characters
// after the first "prog=", read leniently. No value when the field has no "prog=" or the
// number is not finite.
std::optional<double> ProgressFromStateText(std::string_view text);

// Reads the client's state file (at most kStateReadLimit bytes of it) and gives its progress,
// or no value when the file cannot be opened or read, is empty or holds no progress.
std::optional<double> ReadClientProgress(const PathString& directory);

}  // namespace vantorel
