#include "about/frm_about.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "tray/fonts.h"

namespace vantorel {
namespace {

constexpr int kClientWidthTwips = 5760;
constexpr int kClientHeightTwips = 6120;

std::wstring JoinLines(std::initializer_list<const wchar_t*> lines) {
    std::wstring text;
    bool first = true;
    for (const wchar_t* line : lines) {
        if (!first) {
            text += L"\r\n";
        }
        first = false;
        text += line;
    }
    return text;
}

// The instructions box is read-only but multi-line, and a multi-line edit keeps Enter and
// Escape for itself; here they belong to the window ("OK").
LRESULT CALLBACK InstructionsProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETDLGCODE) {
        LRESULT code = Control::CallOwnProcedure(hwnd, message, wParam, lParam);
        code &= ~(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
        if (lParam != 0) {
            const MSG* pending = reinterpret_cast<const MSG*>(lParam);
            if (pending->message == WM_KEYDOWN &&
                (pending->wParam == VK_RETURN || pending->wParam == VK_ESCAPE)) {
                code &= ~DLGC_WANTCHARS;
            }
        }
        return code;
    }
    return Control::CallOwnProcedure(hwnd, message, wParam, lParam);
}

}  // namespace

FrmAbout::FrmAbout() {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    dishPicture_.reset(static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(IDI_DISH0 + 2), IMAGE_ICON, 16, 16, 0)));
    badgePicture_.reset(static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(IDI_BADGE), IMAGE_ICON, 32, 32, 0)));
}

FrmAbout::~FrmAbout() {
    if (IsLoaded()) {
        Unload();
    }
}

std::wstring FrmAbout::CreditsText() {
    return JoinLines({
        L"Vantorel V1.0, December 2026. Copyright 2026 The Vantorel Project.",
        L"",
        L"A program for displaying the progress of Seti@Home text mode clients.",
        L"",
        L"If you like this software, send your greetings, postcards, money, beer, etc. to:",
        L"",
        L"E-mail: vantorel@example.org",
        L"Web: https://vantorel.example.org/",
        L"",
        L"Post: The Vantorel Project",
        L"          1 Example Street",
        L"          Exampleton EX1 2MP",
    });
}

std::wstring FrmAbout::InstructionsText() {
    return JoinLines({L"Instructions", L"------------------", L"", L"", L"", L"", L"",
                      L"See README.TXT for more information."});
}

const wchar_t* FrmAbout::BadgeLine() {
    return L"Vantorel: made by The Vantorel Project";
}

void FrmAbout::Show(HWND owner) {
    owner_ = owner;
    ShowModal();
}

Window::Frame FrmAbout::Describe() const {
    return Frame{L"About Vantorel",
                 kClientWidthTwips,
                 kClientHeightTwips,
                 Placement::CentreOwner,
                 owner_,
                 nullptr};
}

void FrmAbout::CreateControls() {
    LoadCommonControls();  // for the badge's tooltip
    const HWND self = hwnd();
    // Created in tab order: the title and the credits, the button, the instructions.
    lblTitle.Create(self, WC_STATICW, L"Vantorel V1.0", SS_LEFT | SS_NOPREFIX, 0, kTitleId,
                    {840, 120, 4215, 375});
    lblText.Create(self, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kTextId,
                   {840, 480, 4695, 3135});
    btnOK.Create(self, WC_BUTTONW, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON | BS_NOTIFY, 0, kOkId,
                 {2400, 5520, 1215, 495});
    txtInstructions.Create(self, WC_EDITW, L"",
                           WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                           WS_EX_CLIENTEDGE, kInstructionsId, {720, 3720, 4935, 1695});
    Image2.Create(self, WC_STATICW, nullptr, SS_OWNERDRAW, 0, kDishId, {120, 120, 480, 480});
    Image1.Create(self, WC_STATICW, nullptr, SS_OWNERDRAW | SS_NOTIFY, 0, kBadgeId,
                  {120, 720, 480, 480});
    txtInstructions.Subclass(InstructionsProcedure);

    badgeTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                  WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, self, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = self;
    tool.uId = reinterpret_cast<UINT_PTR>(Image1.hwnd());
    tool.lpszText = const_cast<wchar_t*>(BadgeLine());
    ::SendMessageW(badgeTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void FrmAbout::Layout(UINT dpi) {
    UniqueFont font = CreateDialogFont(dpi);
    UniqueFont titleFont = CreatePointFont(L"MS Sans Serif", 12, true, dpi);
    for (const Control* control :
         {&lblTitle, &lblText, &btnOK, &txtInstructions, &Image1, &Image2}) {
        control->Place(dpi);
    }
    SetChildFonts(hwnd(), font.get());
    ::SendMessageW(lblTitle.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont.get()), TRUE);
    // Only now do the old fonts go: the controls held them until this moment.
    font_ = std::move(font);
    titleFont_ = std::move(titleFont);
}

void FrmAbout::Form_Load() {
    lblText.SetText(CreditsText());
    txtInstructions.SetText(InstructionsText());
}

void FrmAbout::btnOK_Click() {
    Unload();
}

void FrmAbout::DrawPicture(const DRAWITEMSTRUCT& item) const {
    const HICON icon =
        item.CtlID == static_cast<UINT>(kDishId) ? dishPicture_.get() : badgePicture_.get();
    ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    // Stretched pixel for pixel: the colour-on-colour mode never blends neighbours.
    const int oldMode = ::SetStretchBltMode(item.hDC, COLORONCOLOR);
    ::DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, icon,
                 item.rcItem.right - item.rcItem.left, item.rcItem.bottom - item.rcItem.top, 0,
                 nullptr, DI_NORMAL);
    ::SetStretchBltMode(item.hDC, oldMode);
}

LRESULT FrmAbout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kOkId && HIWORD(wParam) == BN_CLICKED) {
                btnOK_Click();
                return 0;
            }
            break;
        case WM_DRAWITEM:
            DrawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
            // The read-only instructions keep the look of a text box, not of the window: its
            // text colour with its background, or a high-contrast theme whose dialog and
            // window colours differ could draw the text in the background's colour.
            if (reinterpret_cast<HWND>(lParam) == txtInstructions.hwnd()) {
                ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
                ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        default:
            break;
    }
    return Window::OnMessage(message, wParam, lParam);
}

}  // namespace vantorel
