// vantorel-probe DIR [DIR [DIR]]: one poll over the given client directories, printed as the
// meter would show it. The way to check a real client directory from a console.

#include <cstdio>
#include <string>

#include "core/poll.h"

#ifdef _WIN32
#include "tray/user_locale.h"
#endif

namespace {

void PrintQuoted(const char* label, const std::string& text) {
    std::printf("%s: \"%s\"\n", label, text.c_str());
}

int Probe(int argc, const vantorel::PathChar* const* argv, const vantorel::NumberLocale& locale) {
    if (argc < 2 || argc > 1 + static_cast<int>(vantorel::kClientCount)) {
        std::fputs("usage: vantorel-probe DIR [DIR [DIR]]\n", stderr);
        return 2;
    }
    vantorel::ClientDirectories directories;
    for (int i = 1; i < argc; ++i) {
        directories[static_cast<std::size_t>(i - 1)] = argv[i];
    }
    const vantorel::PollResult result = vantorel::PollClients(directories, locale);
    for (std::size_t i = 0; i < vantorel::kClientCount; ++i) {
        const std::string label = "menu " + std::to_string(i + 1);
        if (result.captions[i]) {
            PrintQuoted(label.c_str(), *result.captions[i]);
        } else {
            std::printf("%s: -\n", label.c_str());
        }
    }
    PrintQuoted("tooltip", result.tooltip);
    std::printf("icon: %s\n", result.iconKey.c_str());
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return Probe(argc, argv, vantorel::UserNumberLocale());
}
#else
int main(int argc, char** argv) {
    return Probe(argc, argv, vantorel::NumberLocale{});
}
#endif
