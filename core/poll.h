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
// What each client yielded, by its index: a progress fraction or no value.
using ClientValues = std::array<std::optional<double>, kClientCount>;

// Reads one client's progress; tests replace the real reader to see which clients are read.
using ProgressReader = std::function<std::optional<double>(const PathString& directory)>;

// How many clients a poll reads: those before the first empty directory text.
std::size_t ClientsToRead(const ClientDirectories& directories);

// The poll's result from what each client yielded. Only the clients before the first empty
// directory text count (a text of blanks is not empty). The tooltip separator " \ " goes
// before every client but the first by index, so an unreadable first client leaves the
// tooltip starting with it. The icon shows the average of the clients that yielded a value,
// or Dish0 when none did.
PollResult PollClients(const ClientDirectories& directories, const NumberLocale& locale,
                       const ClientValues& values);

// The same with the clients read in order, each through the reader. Inline, as the one below:
// the meter reads off its window thread and calls neither, and a function it does not call
// would still take room in it.
inline PollResult PollClients(const ClientDirectories& directories, const NumberLocale& locale,
                              const ProgressReader& read) {
    ClientValues values;
    const std::size_t reads = ClientsToRead(directories);
    for (std::size_t i = 0; i < reads; ++i) {
        values[i] = read(directories[i]);
    }
    return PollClients(directories, locale, values);
}

// The same with the state files read in place.
inline PollResult PollClients(const ClientDirectories& directories, const NumberLocale& locale) {
    return PollClients(directories, locale, ProgressReader(ReadClientProgress));
}

}  // namespace vantorel
