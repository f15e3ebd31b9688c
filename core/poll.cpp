#include "core/poll.h"

namespace vantorel {

std::size_t ClientsToRead(const ClientDirectories& directories) {
    std::size_t count = 0;
    while (count < kClientCount && !directories[count].empty()) {
        ++count;
    }
    return count;
}

PollResult PollClients(const ClientDirectories& directories, const NumberLocale& locale,
                       const ClientValues& values) {
    PollResult result;
    int count = 0;
    double sum = 0.0;
    const std::size_t reads = ClientsToRead(directories);
    for (std::size_t i = 0; i < reads; ++i) {
        const std::optional<double>& fraction = values[i];
        if (!fraction) {
            continue;
        }
        ++count;
        const std::string percent = FormatPercent(*fraction, locale);
        if (i != 0) {
            result.tooltip += " \\ ";
        }
        result.tooltip += percent;
        result.captions[i] = "Progress: " + percent;
        sum += *fraction;
    }
    result.iconKey = IconKey(count == 0 ? 0.0 : sum / count);
    return result;
}

}  // namespace vantorel
