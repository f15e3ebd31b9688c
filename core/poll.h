#pragma once
// One poll of up to three clients: what a tick shows in the menu, the tooltip and the icon.

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "core/numbers.h"
#include "core/path_text.h"
#include "core/state_file.h"

namespace vantorel {

inline constexpr std::size_t kClientCount = 3;

struct PollResult {
    // A new "Progress: " caption for each client that yielded a value; the others keep theirs.
    std::array<std::optional<std::string>, kClientCount> captions;
    std::string tooltip;
    std::string iconKey;
};

using ClientDirectories = std::array<PathString, kClientCount>;

// Reads one client's progress; tests replace the real reader to see which clients are read.
using ProgressReader = std::function<std::optional<double>(const PathString& directory)>;

// How many clients a poll reads: those before the first empty directory text.
std::size_t ClientsToRead(const ClientDirectories& directories);

// Reads the clients in order and stops at the first empty directory text (a text of blanks is
// not empty). The tooltip separator " \ " goes before every client but the first by index, so
// an unreadable first client leaves the tooltip starting with it. The icon shows the average
// of the clients that yielded a value, or Dish0 when none did.
PollResult PollClients(const ClientDirectories& directories, const NumberLocale& locale,
                       const ProgressReader& read);
// The same with the state files read in place. Inline: the meter reads off its window thread
// and does not call it, and a function it does not call would still take room in it.
inline PollResult PollClients(const ClientDirectories& directories, const NumberLocale& locale) {
    return PollClients(directories, locale, ReadClientProgress);
}

}  // namespace vantorel
