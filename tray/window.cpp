#include "tray/window.h"

#include <commctrl.h>

#include <algorithm>

#include "tray/later_functions.h"

namespace vantorel {
namespace {

constexpr wchar_t kWindowClass[] = L"VantorelWindow";
constexpr DWORD kFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

int g_loadedWindows = 0;
std::function<void()> g_lastWindowHandler = [] { ::PostQuitMessage(0); };

HINSTANCE ThisModule() {
    return ::GetModuleHandleW(nullptr);
}

// The hidden owner of every window the program shows without an owner of its own: an owned
// window gets no taskbar button, and this one is never shown. It is a real top-level window,
// so the windows it owns still hear broadcasts such as "TaskbarCreated".
HWND ProgramOwner(ATOM windowClass) {
    static HWND owner = nullptr;
    if (owner == nullptr || !::IsWindow(owner)) {
        owner = ::CreateWindowExW(0, MAKEINTATOM(windowClass), L"Vantorel", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, ThisModule(), nullptr);
    }
    return owner;
}

bool IsPushButton(HWND control) {
    const LRESULT code = ::SendMessageW(control, WM_GETDLGCODE, 0, 0);
    return (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

// Registered on first use by the window thread, the only one that makes windows: a plain
// static needs no guard, which would bring the thread runtime into the program.
ATOM Window::ClassAtom() {
    static ATOM atom = 0;
    if (atom == 0) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Procedure;
        wc.hInstance = ThisModule();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        atom = ::RegisterClassExW(&wc);
    }
    return atom;
}

bool Window::IsProgramWindow(HWND hwnd) {
    return static_cast<ATOM>(::GetClassLongPtrW(hwnd, GCW_ATOM)) == ClassAtom();
}

void Control::Create(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                     DWORD exStyle, int id, const TwipsRect& rect) {
    id_ = id;
    rect_ = rect;
    hwnd_ = ::CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                              parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              ThisModule(), nullptr);
}

void Control::Place(UINT dpi) const {
    const RECT r = ToPixels(rect_, dpi);
    ::SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring Control::Text() const {
    const int length = ::GetWindowTextLengthW(hwnd_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

void Control::SetText(const std::wstring& text) const {
    ::SetWindowTextW(hwnd_, text.c_str());
}

void Control::Subclass(WNDPROC procedure) const {
    ::SetWindowLongPtrW(
        hwnd_, GWLP_USERDATA,
        ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

void Timer::Start(HWND owner) {
    owner_ = owner;
    ::SetTimer(owner_, id_, period_, nullptr);
}

void Timer::SetPeriod(UINT periodMs) {
    period_ = periodMs;
    if (owner_ != nullptr && ::IsWindow(owner_)) {
        ::SetTimer(owner_, id_, period_, nullptr);
    }
}

Window::~Window() {
    if (hwnd_ != nullptr) {
        // The object is going: no handler of it may run for the window's end.
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(std::exchange(hwnd_, nullptr));
        --g_loadedWindows;
    }
}

bool Window::IsShown() const {
    return hwnd_ != nullptr && ::IsWindowVisible(hwnd_);
}

UINT Window::Dpi() const {
    return hwnd_ != nullptr ? WindowDpi(hwnd_) : SystemDpi();
}

void Window::SetLastWindowHandler(std::function<void()> handler) {
    g_lastWindowHandler = std::move(handler);
}

int Window::LoadedCount() {
    return g_loadedWindows;
}

void Window::Load() {
    if (hwnd_ != nullptr) {
        return;
    }
    const Frame frame = Describe();
    const HWND owner = frame.owner != nullptr ? frame.owner : ProgramOwner(ClassAtom());
    // A window centred on its owner is made on the owner's monitor and laid out at its DPI
    // before it is first shown: moved there afterwards, it would hear of a new DPI, whose
    // suggested place would replace the centring.
    const bool onOwner = frame.placement == Placement::CentreOwner;
    const RECT area = CentringArea(frame, owner);
    const HMONITOR monitor = ::MonitorFromRect(&area, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(monitor, &info);
    // The window procedure takes the handle from WM_NCCREATE, before this call returns.
    // cppcheck-suppress ignoredReturnValue
    ::CreateWindowExW(kFrameExStyle, MAKEINTATOM(ClassAtom()), frame.caption.c_str(), kFrameStyle,
                      onOwner ? info.rcWork.left : CW_USEDEFAULT,
                      onOwner ? info.rcWork.top : CW_USEDEFAULT, onOwner ? 1 : 0, onOwner ? 1 : 0,
                      owner, nullptr, ThisModule(), this);
    if (hwnd_ == nullptr) {
        return;
    }
    ++g_loadedWindows;
    if (frame.icon != nullptr) {
        ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(frame.icon));
        ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(frame.icon));
    }
    BeforeControls();
    const UINT dpi = onOwner ? MonitorDpi(monitor) : Dpi();
    CreateControls();
    Layout(dpi);
    Place(frame, dpi);
    Form_Load();
}

RECT Window::CentringArea(const Frame& frame, HWND owner) {
    RECT around{};
    if (frame.placement == Placement::CentreOwner && owner != nullptr && ::IsWindowVisible(owner)) {
        ::GetWindowRect(owner, &around);
    } else {
        around = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return around;
}

void Window::FitClient(const Frame& frame, UINT dpi) {
    const int clientWidth = TwipsToPixels(frame.clientWidthTwips, dpi);
    const int clientHeight = TwipsToPixels(frame.clientHeightTwips, dpi);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (client.right == clientWidth && client.bottom == clientHeight) {
        return;
    }
    RECT window{};
    ::GetWindowRect(hwnd_, &window);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + clientWidth - client.right,
                   window.bottom - window.top + clientHeight - client.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE Window::FrameSize(const Frame& frame, UINT dpi) {
    RECT bounds{0, 0, TwipsToPixels(frame.clientWidthTwips, dpi),
                TwipsToPixels(frame.clientHeightTwips, dpi)};
    AdjustFrameForDpi(bounds, kFrameStyle, kFrameExStyle, dpi);
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

void Window::Place(const Frame& frame, UINT dpi) {
    const SIZE size = FrameSize(frame, dpi);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame the system really drew decides: its borders need not follow the DPI asked for.
    FitClient(frame, dpi);
    RECT placed{};
    ::GetWindowRect(hwnd_, &placed);
    const int width = placed.right - placed.left;
    const int height = placed.bottom - placed.top;

    const RECT around = CentringArea(frame, ::GetWindow(hwnd_, GW_OWNER));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromRect(&around, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    int left = (around.left + around.right - width) / 2;
    int top = (around.top + around.bottom - height) / 2;
    left = std::max<int>(work.left, std::min<int>(left, work.right - width));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    ::SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::ShowModeless() {
    Load();
    if (hwnd_ == nullptr) {
        return;
    }
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    // Still the active window from the tray menu, it hears no activation to take the focus.
    if (::GetActiveWindow() == hwnd_ && !::IsChild(hwnd_, ::GetFocus())) {
        FocusRemembered();
    }
}

BOOL CALLBACK Window::CollectEnabledWindow(HWND hwnd, LPARAM self) {
    auto* modal = reinterpret_cast<Window*>(self);
    // Only the program's own: the thread also has windows it did not make, such as the input
    // method's, and the modal window's popups, such as its tooltips, stay usable with it.
    if (hwnd != modal->hwnd_ && IsProgramWindow(hwnd) && ::IsWindowEnabled(hwnd)) {
        modal->disabledByModal_.push_back(hwnd);
    }
    return TRUE;
}

void Window::ShowModal() {
    Load();
    if (hwnd_ == nullptr) {
        return;
    }
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectEnabledWindow,
                        reinterpret_cast<LPARAM>(this));
    for (HWND hwnd : disabledByModal_) {
        ::EnableWindow(hwnd, FALSE);
    }
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);

    while (hwnd_ != nullptr) {
        MSG message{};
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: leave the quit for the outer loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        DispatchWindowMessage(message);
    }
    for (HWND hwnd : std::exchange(disabledByModal_, {})) {
        if (::IsWindow(hwnd)) {
            ::EnableWindow(hwnd, TRUE);
        }
    }
}

void Window::Hide() {
    if (hwnd_ != nullptr) {
        ::ShowWindow(hwnd_, SW_HIDE);
    }
}

void Window::Unload() {
    Unload(CloseReason::Program);
}

void Window::Unload(CloseReason reason) {
    if (hwnd_ == nullptr || !Form_QueryUnload(reason)) {
        return;
    }
    Destroy();
}

void Window::Destroy() {
    // Owners come back before the modal window goes, so the activation returns to them
    // rather than to some other program.
    const HWND owner = ::GetWindow(hwnd_, GW_OWNER);
    for (HWND hwnd : std::exchange(disabledByModal_, {})) {
        if (::IsWindow(hwnd)) {
            ::EnableWindow(hwnd, TRUE);
        }
    }
    if (owner != nullptr && ::IsWindowVisible(owner) && ::GetActiveWindow() == hwnd_) {
        ::SetActiveWindow(owner);
    }
    ::DestroyWindow(hwnd_);
}

void Window::MoveFocus(HWND target) {
    if (target == nullptr) {
        return;
    }
    ::SetFocus(target);
    if (::SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
        ::SendMessageW(target, EM_SETSEL, 0, -1);
    }
    MarkDefaultButton(target);
}

void Window::FocusRemembered() {
    const bool remembered =
        lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsChild(hwnd_, lastFocus_);
    MoveFocus(remembered ? lastFocus_ : ::GetNextDlgTabItem(hwnd_, nullptr, FALSE));
}

HWND Window::EnterButton(HWND focus) const {
    // A focused button is the one Enter presses; elsewhere the window's default button is.
    if (focus != nullptr && ::IsChild(hwnd_, focus) && IsPushButton(focus)) {
        return focus;
    }
    return DefaultButtonId() != 0 ? Item(DefaultButtonId()) : nullptr;
}

void Window::MarkDefaultButton(HWND focus) {
    const HWND chosen = EnterButton(focus);
    for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (IsPushButton(child)) {
            const bool isDefault = child == chosen;
            const bool wasDefault =
                (::SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0;
            if (isDefault != wasDefault) {
                ::SendMessageW(child, BM_SETSTYLE,
                               isDefault ? BS_DEFPUSHBUTTON | BS_NOTIFY : BS_PUSHBUTTON | BS_NOTIFY,
                               TRUE);
            }
        }
    }
}

LRESULT Window::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SYSCOMMAND:
            // The close box, the system menu and Alt+F4 all come this way; a bare WM_CLOSE
            // is another program's request.
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                Unload(CloseReason::User);
                return 0;
            }
            break;
        case WM_CLOSE:
            Unload(CloseReason::Outside);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                Unload(CloseReason::Windows);
            }
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(hwnd_, focus)) {
                    lastFocus_ = focus;
                }
            } else if (::IsWindowEnabled(hwnd_) && ::IsWindowVisible(hwnd_)) {
                // Hidden, it is only the tray menu's owner: a control with the focus there
                // would take the keys typed after the menu closes.
                FocusRemembered();
            }
            return 0;
        case WM_NEXTDLGCTL:
            MoveFocus(LOWORD(lParam) != 0
                          ? reinterpret_cast<HWND>(wParam)
                          : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wParam != 0 ? TRUE : FALSE));
            return 0;
        case DM_GETDEFID: {
            // The dialog manager asks this after a Tab and for Enter: the focused button.
            const HWND button = EnterButton(::GetFocus());
            return button != nullptr ? MAKELRESULT(::GetDlgCtrlID(button), DC_HASDEFID) : 0;
        }
        case DM_SETDEFID:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && lParam == 0) {
                OnEscape();
                return 0;
            }
            if (HIWORD(wParam) == BN_SETFOCUS || HIWORD(wParam) == EN_SETFOCUS) {
                MarkDefaultButton(reinterpret_cast<HWND>(lParam));
            }
            break;
        case kGetDpiScaledSize:
            // Asked before a DPI change (Windows 10 1703 and later): the rectangle that
            // WM_DPICHANGED then suggests has this size, and the window moves once.
            *reinterpret_cast<SIZE*>(lParam) = FrameSize(Describe(), static_cast<UINT>(wParam));
            return TRUE;
        case WM_DPICHANGED: {
            // The system's rectangle in one move, then the layout for the new DPI.
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top,
                           suggested.right - suggested.left, suggested.bottom - suggested.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            const UINT dpi = HIWORD(wParam);
            Layout(dpi);
            // A frame drawn otherwise than the rectangle assumed (no scaled borders, as on
            // Windows 8.1, or a system that did not ask the size first) still gets its client
            // area of the twips.
            FitClient(Describe(), dpi);
            return 0;
        }
        case WM_SYSCOLORCHANGE:
            // Only top-level windows hear it; the common controls among the children must be
            // told to take the new colours.
            for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child != nullptr;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                ::SendMessageW(child, WM_SYSCOLORCHANGE, wParam, lParam);
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    Window* self = FromHandle(hwnd);
    if (self == nullptr) {
        // The hidden owner refuses a close request from outside: gone, it would take the
        // windows it owns with it past their own close rule. They hear the request themselves.
        return message == WM_CLOSE ? 0 : ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->lastFocus_ = nullptr;
        --g_loadedWindows;
        self->Form_Unload();
        if (g_loadedWindows == 0 && g_lastWindowHandler) {
            g_lastWindowHandler();
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

void DispatchWindowMessage(MSG& message) {
    const HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    const bool ours = root != nullptr && Window::IsProgramWindow(root);
    // A hidden window can still be the active one: its keys would type into a field nobody
    // sees, or press its default button.
    if (ours && message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST &&
        !::IsWindowVisible(root)) {
        return;
    }
    if (ours && ::IsDialogMessageW(root, &message)) {
        // After a Tab the dialog manager frames the default by its own rule: put it back
        // where Enter will go.
        const bool key = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
        // The key may have closed the window: its handle then holds no object any more.
        Window* window = key && ::IsWindow(root) ? Window::FromHandle(root) : nullptr;
        if (window != nullptr) {
            window->MarkDefaultButton(::GetFocus());
        }
        return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

bool LoadCommonControls() {
    static bool loaded = false;
    if (loaded) {
        return true;
    }
    // By name, as an import would be: the manifest's activation context picks version 6.
    const HMODULE dll = ::LoadLibraryW(L"comctl32.dll");
    const FARPROC found = dll != nullptr ? ::GetProcAddress(dll, "InitCommonControlsEx") : nullptr;
    if (found == nullptr) {
        return false;
    }
    // A function pointer of any type goes through void (*)() to another.
    const auto init = reinterpret_cast<decltype(&::InitCommonControlsEx)>(
        reinterpret_cast<void (*)()>(found));
    const INITCOMMONCONTROLSEX controls{
        sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    loaded = init(&controls) != FALSE;
    return loaded;
}

int RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchWindowMessage(message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace vantorel
