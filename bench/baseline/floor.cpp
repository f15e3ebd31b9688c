// The floor the meter is measured against: the least a tray program doing the meter's work
// can cost. A hidden top-level window, one icon from its resources, and a 1 s timer that
// reads the meter's three State.SAH files (the folders of its settings) and puts their
// progress into the tip. No options, no menu, no checks beyond what keeps it from crashing.
//
// Built with VANTOREL_FLOOR_READERS it is the least a meter that never freezes can cost: the
// window thread does no file call, each client has a thread of its own that the tick wakes,
// and the last read of a round posts the one answer that puts the tip up.

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <cwchar>

namespace {

constexpr UINT WMAPP_NOTIFYCALLBACK = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kSettingsKey[] = L"Software\\VB and VBA Program Settings\\Vantorel\\Settings";

wchar_t g_paths[3][MAX_PATH];
int g_clients = 0;
NOTIFYICONDATAA g_tray{};

void LoadPaths() {
    const wchar_t* names[] = {L"Path1", L"Path2", L"Path3"};
    for (const wchar_t* name : names) {
        wchar_t dir[MAX_PATH - 11] = {};
        DWORD size = sizeof dir;
        if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, dir,
                           &size) != ERROR_SUCCESS ||
            dir[0] == L'\0') {
            return;
        }
        std::wcscpy(g_paths[g_clients], dir);
        std::wcscat(g_paths[g_clients++], L"\\State.SAH");
    }
}

// Hundredths of the number after "prog=", or -1.
int ReadProgress(const wchar_t* path) {
    const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    char buffer[64 * 1024];  // as much as the meter reads
    DWORD got = 0;
    const BOOL read = ::ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr);
    ::CloseHandle(file);
    if (!read) {
        return -1;
    }
    buffer[got] = '\0';
    const char* tag = std::strstr(buffer, "prog=");
    if (tag == nullptr || tag[5] < '0' || tag[5] > '1' || tag[6] != '.') {
        return -1;
    }
    int hundredths = (tag[5] - '0') * 10000;
    for (int i = 0, scale = 1000; i < 4 && tag[7 + i] >= '0' && tag[7 + i] <= '9'; ++i) {
        hundredths += (tag[7 + i] - '0') * scale;
        scale /= 10;
    }
    return hundredths;
}

int g_values[3];

// "47.59% \ 100.00%": three clients take at most 27 of the tip's 64 characters.
void ShowValues() {
    char* tip = g_tray.szTip;
    for (int i = 0; i < g_clients; ++i) {
        const int value = g_values[i];
        if (value < 0) {
            continue;
        }
        if (tip != g_tray.szTip) {
            tip = std::strcpy(tip, " \\ ") + 3;
        }
        if (value >= 10000) {
            *tip++ = '1';
        }
        if (value >= 1000) {
            *tip++ = static_cast<char>('0' + value / 1000 % 10);
        }
        *tip++ = static_cast<char>('0' + value / 100 % 10);
        *tip++ = '.';
        *tip++ = static_cast<char>('0' + value / 10 % 10);
        *tip++ = static_cast<char>('0' + value % 10);
        *tip++ = '%';
    }
    *tip = '\0';
    ::Shell_NotifyIconA(NIM_MODIFY, &g_tray);
}

#ifdef VANTOREL_FLOOR_READERS
constexpr UINT WMAPP_READ = WM_APP + 2;
HWND g_window;
HANDLE g_wake[3];
volatile LONG g_reading = 0;  // reads of the round still out

DWORD WINAPI Reader(void* index) {
    const auto i = reinterpret_cast<INT_PTR>(index);
    for (;;) {
        ::WaitForSingleObject(g_wake[i], INFINITE);
        g_values[i] = ReadProgress(g_paths[i]);
        if (::InterlockedDecrement(&g_reading) == 0) {
            ::PostMessageW(g_window, WMAPP_READ, 0, 0);
        }
    }
}

void StartReaders(HWND window) {
    g_window = window;
    for (INT_PTR i = 0; i < g_clients; ++i) {
        g_wake[i] = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ::CloseHandle(::CreateThread(nullptr, 0, Reader, reinterpret_cast<void*>(i), 0, nullptr));
    }
}

// A round still out holds the next tick back, as a hung folder would.
void Tick() {
    if (g_reading != 0) {
        return;
    }
    if (g_clients == 0) {
        ShowValues();
        return;
    }
    g_reading = g_clients;
    for (int i = 0; i < g_clients; ++i) {
        ::SetEvent(g_wake[i]);
    }
}
#else
void Tick() {
    for (int i = 0; i < g_clients; ++i) {
        g_values[i] = ReadProgress(g_paths[i]);
    }
    ShowValues();
}
#endif

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            Tick();
            return 0;
#ifdef VANTOREL_FLOOR_READERS
        case WMAPP_READ:
            ShowValues();
            return 0;
#endif
        case WM_DESTROY:
            ::Shell_NotifyIconA(NIM_DELETE, &g_tray);
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.lpszClassName = L"VantorelFloor";
    ::RegisterClassW(&wc);
    const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"VantorelFloor", WS_OVERLAPPED, 0,
                                          0, 0, 0, nullptr, nullptr, instance, nullptr);

    g_tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
    g_tray.hWnd = window;
    g_tray.uID = 1;
    g_tray.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    g_tray.uCallbackMessage = WMAPP_NOTIFYCALLBACK;
    // The notification area's size, as the meter sends it: LoadIcon would give the large one.
    g_tray.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
    std::strcpy(g_tray.szTip, "0%");
    ::Shell_NotifyIconA(NIM_ADD, &g_tray);

    LoadPaths();
#ifdef VANTOREL_FLOOR_READERS
    StartReaders(window);
#endif
    ::SetTimer(window, kTimerId, 1000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}
