// Vantorel's entry: start the main window and run the one message loop until it unloads.

#include <windows.h>

#include "options/frm_options.h"
#include "options/settings.h"
#include "tray/user_locale.h"

namespace {

void Tell(HWND owner, const std::wstring& text) {
    ::MessageBoxW(owner, text.c_str(), L"Vantorel", MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A client folder on a drive without media fails its read instead of raising the system's
    // "no disk" box on the reading thread, where the read would wait for a box nobody asked for.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    vantorel::RegistrySettings settings;
    vantorel::FrmOptions frmOptions(vantorel::OptionsServices{settings, vantorel::RealShellNotify(),
                                                              Tell, vantorel::UserNumberLocale});
    frmOptions.Start();
    return vantorel::RunMessageLoop();
}
