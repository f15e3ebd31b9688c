#include "core/state_file.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/file_access.h"
#include "core/numbers.h"

namespace vantorel {
namespace {

constexpr std::string_view kProgressTag = "prog=";
constexpr std::size_t kProgressDigits = 7;

}  // namespace

PathString StateFilePath(const PathString& directory) {
    // Explorer's "Copy as path" puts the folder in quotes, which no Windows path can hold. A
    // pair with nothing between names no folder, and a lone quote is no pair: both stay as
    // typed and so name nothing that can be read.
    constexpr PathChar kQuote = VANTOREL_PATH('"');
    const bool quoted =
        directory.size() > 2 && directory.front() == kQuote && directory.back() == kQuote;
    PathString path(directory.data() + (quoted ? 1 : 0), directory.size() - (quoted ? 2 : 0));
    // Under "\\?\" the name goes to the file system as it is, and a second separator after a
    // closing one would name an empty folder. Elsewhere the two are read as one.
    if (!path.starts_with(VANTOREL_PATH("\\\\?\\")) || !path.ends_with(kPathSeparator)) {
        path += kPathSeparator;
    }
    path += kStateFileName;
    return path;
}

std::optional<std::string_view> FirstStateField(std::string_view text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return text.substr(text.size());
    }
    text.remove_prefix(start);
    if (text.front() == '"') {
        const std::size_t close = text.find('"', 1);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        return text.substr(1, close - 1);
    }
    // Two vectorised scans instead of one character-by-character search of the set.
    return text.substr(0, std::min(text.find(','), text.find('\r')));
}

std::optional<double> ProgressFromStateText(std::string_view text) {
    const std::optional<std::string_view> field = FirstStateField(text);
    if (!field) {
        return std::nullopt;
    }
    const std::size_t tag = field->find(kProgressTag);
    if (tag == std::string_view::npos) {
        return std::nullopt;
    }
    const double fraction =
        LenientNumber(field->substr(tag + kProgressTag.size(), kProgressDigits));
    if (!std::isfinite(fraction)) {
        return std::nullopt;
    }
    return fraction;
}

std::optional<double> ReadClientProgress(const PathString& directory) {
    // On the stack: a tick allocates nothing, and nothing is kept between calls.
    std::array<char, kStateReadLimit> buffer;
    const std::optional<std::string_view> text = ReadFilePrefix(StateFilePath(directory), buffer);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return ProgressFromStateText(*text);
}

}  // namespace vantorel
