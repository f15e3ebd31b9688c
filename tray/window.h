#pragma once
// The window runtime both windows stand on: a window is loaded (created, its load run), shown
// modeless or modal, hidden, and unloaded with a close reason that its query may refuse.
// Keyboard handling is the dialog manager's: Tab order, Enter for the default button, Escape.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tray/handles.h"
#include "tray/twips.h"

namespace vantorel {

// WM_GETDPISCALEDSIZE, which the headers for Windows 7 do not name.
inline constexpr UINT kGetDpiScaledSize = 0x02E4;

enum class CloseReason {
    User = 0,     // close box, system menu, Alt+F4
    Program = 1,  // the program's own unload
    Windows = 2,  // Windows is shutting down or the user logs off
    Outside = 3,  // another program asked, such as the task manager or taskkill
};

// One child control: its handle, its place in twips and its command id.
class Control {
  public:
    HWND hwnd() const { return hwnd_; }
    int id() const { return id_; }
    const TwipsRect& rect() const { return rect_; }

    void Create(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                DWORD exStyle, int id, const TwipsRect& rect);
    void Place(UINT dpi) const;

    std::wstring Text() const;
    void SetText(const std::wstring& text) const;

    // Puts the procedure before the control's own, which it reaches through CallOwnProcedure;
    // the control's user data keeps the way there.
    void Subclass(WNDPROC procedure) const;
    static LRESULT CallOwnProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
        return ::CallWindowProcW(
            reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(control, GWLP_USERDATA)), control,
            message, wParam, lParam);
    }

  private:
    HWND hwnd_ = nullptr;
    int id_ = 0;
    TwipsRect rect_{};
};

// A window timer: a tick on the window thread once per period.
class Timer {
  public:
    Timer(UINT_PTR id, UINT periodMs) : id_(id), period_(periodMs) {}

    UINT_PTR id() const { return id_; }
    UINT Period() const { return period_; }

    void Start(HWND owner);
    // Setting a period restarts the count, also when it is the same period.
    void SetPeriod(UINT periodMs);

  private:
    UINT_PTR id_;
    UINT period_;
    HWND owner_ = nullptr;
};

class Window {
  public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }
    bool IsLoaded() const { return hwnd_ != nullptr; }
    bool IsShown() const;
    UINT Dpi() const;
    int Pixels(int twips) const { return TwipsToPixels(twips, Dpi()); }

    // Loads the window when it is not loaded yet, then shows and activates it.
    void ShowModeless();
    // Shows the window with every other window of the program disabled and returns once it
    // has been unloaded; messages, timer ticks among them, go on being handled meanwhile.
    void ShowModal();
    void Hide();
    // The program's own unload: the query sees CloseReason::Program.
    void Unload();

    // What happens when the last loaded window has gone; the program ends then. Tests set
    // their own to stay alive.
    static void SetLastWindowHandler(std::function<void()> handler);
    static int LoadedCount();

    // Whether the top-level window is one of the program's own.
    static bool IsProgramWindow(HWND hwnd);

  protected:
    enum class Placement { CentreScreen, CentreOwner };

    struct Frame {
        std::wstring caption;
        int clientWidthTwips;
        int clientHeightTwips;
        Placement placement;
        HWND owner;  // a window owned by another has no taskbar button of its own
        HICON icon;  // the caption's icon, or none
    };

    Window() = default;

    // Creates the window and its controls and runs the load; nothing when already loaded.
    void Load();

    virtual Frame Describe() const = 0;
    virtual void CreateControls() = 0;
    // Places every control for the window's DPI; runs after creation and on a DPI change.
    virtual void Layout(UINT dpi) = 0;
    // Runs once the window exists, before its controls are made: what must be there soonest.
    virtual void BeforeControls() {}
    virtual void Form_Load() {}
    // Returns false to cancel the close and keep the window loaded.
    virtual bool Form_QueryUnload(CloseReason /*reason*/) { return true; }
    // The window is gone; the object stays for a later load.
    virtual void Form_Unload() {}
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The button Enter clicks when the focus is not on another button.
    virtual int DefaultButtonId() const { return 0; }
    virtual void OnEscape() {}

    // The object of a window of the program, or none once it has gone.
    static Window* FromHandle(HWND hwnd) {
        return reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    // A control of this window with the given id (or none).
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

  private:
    static ATOM ClassAtom();
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static BOOL CALLBACK CollectEnabledWindow(HWND hwnd, LPARAM self);
    void Unload(CloseReason reason);
    void Destroy();
    void MoveFocus(HWND target);
    // To the control that had the focus last, or the first in the tab order.
    void FocusRemembered();
    HWND EnterButton(HWND focus) const;
    void MarkDefaultButton(HWND focus);
    friend void DispatchWindowMessage(MSG& message);
    // The rectangle the window is centred on: its visible owner's, or else the screen.
    static RECT CentringArea(const Frame& frame, HWND owner);
    // The window's size for the frame's client area at the DPI.
    static SIZE FrameSize(const Frame& frame, UINT dpi);
    // Sizes the window for the frame's client area at the DPI, and centres it.
    void Place(const Frame& frame, UINT dpi);
    // Corrects the window's size where its client area is not the frame's at the DPI.
    void FitClient(const Frame& frame, UINT dpi);

    HWND hwnd_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::vector<HWND> disabledByModal_;
};

// The program's message loop; returns the exit code of WM_QUIT.
int RunMessageLoop();

// Loads comctl32 and registers the common controls the windows make, once for the program's
// life; gives whether they are there. comctl32 is not imported, so that it loads when the
// first control needs it rather than before the icon is up.
bool LoadCommonControls();

// Hands one message to the dialog manager of its window, or else dispatches it.
void DispatchWindowMessage(MSG& message);

}  // namespace vantorel
