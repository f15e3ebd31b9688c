#pragma once
// The top-level window of another process by its caption: how the benchmarks ask a program
// they started to end as a user would.

#include <windows.h>

#include <string_view>

namespace vantorel::bench {

struct ProcessWindowSearch {
    DWORD pid;
    std::wstring_view caption;
    HWND found;
};

inline BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ProcessWindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t text[32] = {};
    const int length = ::GetWindowTextW(window, text, 32);
    if (owner == search->pid &&
        std::wstring_view(text, static_cast<std::size_t>(length)) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND FindProcessWindow(DWORD pid, std::wstring_view caption) {
    ProcessWindowSearch search{pid, caption, nullptr};
    ::EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace vantorel::bench
