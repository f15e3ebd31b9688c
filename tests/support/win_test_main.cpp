// The main of the in-process window tests: common controls ready, and the end of the last
// window does not post a quit into the tests' own message pumps.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "tray/window.h"

int main(int argc, char** argv) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    vantorel::Window::SetLastWindowHandler([] {});
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
