#include "options/frm_options.h"

#include <commctrl.h>

#include <cmath>
#include <vector>

#include "about/frm_about.h"
#include "core/poll.h"
#include "resources/resource.h"
#include "tray/fonts.h"
#include "tray/later_functions.h"
#include "tray/text.h"

namespace vantorel {
namespace {

constexpr int kClientWidthTwips = 4590;
constexpr int kClientHeightTwips = 2175;
constexpr double kMinInterval = 1.0;
constexpr double kMaxInterval = 60.0;

constexpr const wchar_t* kPathKeys[] = {L"Path1", L"Path2", L"Path3"};
constexpr wchar_t kIntervalKey[] = L"Interval";

constexpr DWORD kFieldStyle = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kButtonStyle = WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;
constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;

double IntervalValue(const Control& field) {
    return LenientNumber(Narrow(field.Text()));
}

}  // namespace

FrmOptions::FrmOptions(OptionsServices services)
    : services_(std::move(services)),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")),
      traySize_(TraySize()),
      imlIcons(traySize_),
      tray_(imlIcons, services_.shell),
      rounds_(roundsOwner_, services_.read ? services_.read : ProgressReader(ReadClientProgress),
              services_.start, services_.cancel) {}

FrmOptions::~FrmOptions() {
    // The end of the window object: its icon goes with it, also if it was never unloaded.
    tray_.Remove();
}

void FrmOptions::Start() {
    hiddenByLoad_ = false;
    Load();
    if (IsLoaded() && !hiddenByLoad_) {
        ShowModeless();
    }
    if (!loadMessage_.empty()) {
        services_.tell(nullptr, std::exchange(loadMessage_, {}));
    }
}

std::wstring FrmOptions::DecimalHint() const {
    const std::string decimal = services_.locale().decimal;
    if (decimal == ".") {
        return {};
    }
    const std::wstring mark = Widen(decimal);
    return L" Fractions take \"" + mark + L"\", as in \"2" + mark + L"5\".";
}

Window::Frame FrmOptions::Describe() const {
    // The caption's icons follow the window's DPI: SetCaptionIcons.
    return Frame{
        L"Vantorel", kClientWidthTwips, kClientHeightTwips, Placement::CentreScreen, nullptr,
        nullptr};
}

void FrmOptions::CreateControls() {
    // The first control that needs comctl32 is the spin control; the icon is up by now.
    LoadCommonControls();
    const HWND self = hwnd();
    // Created in tab order, each label just before its field: screen readers name a field
    // after the static text that precedes it. Labels take no focus, so Tab passes them by.
    const struct {
        Control& label;
        const wchar_t* text;
        int id;
    } pathLabels[] = {
        {Label2, L"Path 1:", 122}, {Label4, L"Path 2:", 124}, {Label5, L"Path 3:", 125}};
    for (int i = 0; i < 3; ++i) {
        const auto& [label, text, id] = pathLabels[i];
        label.Create(self, WC_STATICW, text, kLabelStyle, 0, id, {120, 120 + 360 * i, 1215, 255});
        txtPath[static_cast<std::size_t>(i)].Create(self, WC_EDITW, L"", kFieldStyle,
                                                    WS_EX_CLIENTEDGE, kPathId + i,
                                                    {1560, 120 + 360 * i, 2895, 285});
    }
    Label1.Create(self, WC_STATICW, L"Update Interval:", kLabelStyle, 0, 121,
                  {120, 1200, 1215, 255});
    txtUpdate.Create(self, WC_EDITW, L"", kFieldStyle, WS_EX_CLIENTEDGE, kUpdateId,
                     {1560, 1200, 975, 285});
    // Against its field, whose label it shares; the unit follows both.
    UpDown1.Create(self, UPDOWN_CLASSW, nullptr, WS_TABSTOP | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0,
                   kUpDownId, {2520, 1200, 240, 285});
    Label3.Create(self, WC_STATICW, L"seconds", kLabelStyle, 0, 123, {2880, 1200, 735, 255});
    cmdClose.Create(self, WC_BUTTONW, L"Remove Meter", kButtonStyle, 0, kCloseId,
                    {240, 1680, 1215, 375});
    cmdOK.Create(self, WC_BUTTONW, L"Save Settings", kButtonStyle | BS_DEFPUSHBUTTON, 0, kOkId,
                 {1680, 1680, 1215, 375});
    cmdAbout.Create(self, WC_BUTTONW, L"About", kButtonStyle, 0, kAboutId, {3120, 1680, 1215, 375});

    for (const Control& field : txtPath) {
        ::SendMessageW(field.hwnd(), EM_SETLIMITTEXT, 0, 0);
    }
    ::SendMessageW(txtUpdate.hwnd(), EM_SETLIMITTEXT, 0, 0);
    // Before the spin control subclasses its buddy, so that ours is removed last.
    txtUpdate.Subclass(txtUpdate_Procedure);
    // The spin control keeps no number of its own: it works from the field's text. Its
    // position stays in the middle of the range, so that neither arrow is ever at an end.
    ::SendMessageW(UpDown1.hwnd(), UDM_SETBUDDY, reinterpret_cast<WPARAM>(txtUpdate.hwnd()), 0);
    ::SendMessageW(UpDown1.hwnd(), UDM_SETRANGE32, static_cast<WPARAM>(kMinInterval),
                   static_cast<LPARAM>(kMaxInterval));
    ::SendMessageW(UpDown1.hwnd(), UDM_SETPOS32, 0,
                   static_cast<LPARAM>((kMinInterval + kMaxInterval) / 2));
    rounds_.Attach(self);
    tmrCheck.Start(self);
}

void FrmOptions::Layout(UINT dpi) {
    constexpr std::size_t kLabels = 5;
    const Control* const fitted[] = {&Label1, &Label2,   &Label3, &Label4,
                                     &Label5, &cmdClose, &cmdOK,  &cmdAbout};
    std::vector<FitText> texts(std::size(fitted));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // A push button draws its text inside its frame and a little margin.
        const int margin = i < kLabels ? 0 : 2 * ::MulDiv(4, static_cast<int>(dpi), 96);
        texts[i] = {fitted[i]->Text(), TwipsToPixels(fitted[i]->rect().width, dpi) - margin};
    }
    UniqueFont font = CreateFittingDialogFont(dpi, texts);
    for (const Control* control :
         {&Label1, &Label2, &Label3, &Label4, &Label5, &txtPath[0], &txtPath[1], &txtPath[2],
          &txtUpdate, &UpDown1, &cmdClose, &cmdOK, &cmdAbout}) {
        control->Place(dpi);
    }
    SetChildFonts(hwnd(), font.get());
    // Only now does the old font go: the controls held it until this moment.
    font_ = std::move(font);
    SetCaptionIcons(dpi);
}

void FrmOptions::SetCaptionIcons(UINT dpi) {
    UniqueIcon small = LoadProgramIcon(MetricForDpi(SM_CXSMICON, dpi));
    UniqueIcon big = LoadProgramIcon(MetricForDpi(SM_CXICON, dpi));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    // The window no longer shows the old ones.
    captionSmall_ = std::move(small);
    captionBig_ = std::move(big);
}

int FrmOptions::TraySize() const {
    return services_.traySize ? services_.traySize() : TrayIconSize();
}

void FrmOptions::FollowTrayScale(bool readd) {
    const int before = imlIcons.Size();
    traySize_ = TraySize();
    const ImageList::Icons old = imlIcons.Reload(traySize_);
    tray_.SetTrayPicture(tray_.PictureKey());
    if (tray_.record().cbSize == 0) {
        return;  // before the load: nothing is shown yet
    }
    if (readd) {
        tray_.Readd();
    } else if (imlIcons.Size() != before) {
        tray_.Update();
    }
    // Only now do the old pictures go: the shell holds the new one.
}

void FrmOptions::BeforeControls() {
    // The load's first step, taken before the thirteen controls are made: the icon is the
    // meter's face, and it is there before any setting is read.
    tray_.Fill(hwnd());
    // Run as administrator, the meter would not hear Explorer's restart, nor a click on its
    // icon, otherwise: Explorer runs at a lower integrity level.
    for (const UINT message : {taskbarCreated_, WMAPP_NOTIFYCALLBACK}) {
        ::ChangeWindowMessageFilterEx(hwnd(), message, MSGFLT_ALLOW, nullptr);
    }
    tray_.SetTrayPicture("Dish0");
    tray_.SetTrayTip("0%");
    tray_.Add();
}

void FrmOptions::Form_Load() {
    const PollRounds::Hold hold(rounds_);

    for (std::size_t i = 0; i < txtPath.size(); ++i) {
        txtPath[i].SetText(ReadSetting(services_.settings, kPathKeys[i]));
    }
    txtUpdate.SetText(ReadSetting(services_.settings, kIntervalKey, L"1"));

    if (!txtPath[0].Text().empty()) {
        Hide();
        hiddenByLoad_ = true;
    }

    const std::wstring interval = txtUpdate.Text();
    if (const auto period = IntervalPeriodMs(Narrow(interval), services_.locale())) {
        tmrCheck.SetPeriod(*period);
    } else {
        // A stored interval the meter cannot use: poll every second and say so; the field
        // keeps the stored text for the user to mend.
        tmrCheck.SetPeriod(kMinPeriodMs);
        loadMessage_ = L"\"" + interval +
                       L"\" is not a valid update interval; polling every second." + DecimalHint();
    }
}

bool FrmOptions::Form_QueryUnload(CloseReason reason) {
    if (reason == CloseReason::User) {
        Hide();
        return false;
    }
    return true;
}

void FrmOptions::Form_Unload() {
    tray_.Remove();
    rounds_.Stop();
}

void FrmOptions::OnEscape() {
    ::SendMessageW(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
}

void FrmOptions::tmrCheck_Timer() {
    // A change of scale of the taskbar's monitor alone may bring this window no message: a
    // few metric calls at every tick, and new pictures only when the size has changed.
    if (TraySize() != traySize_) {
        FollowTrayScale(false);
    }
    rounds_.Tick();
}

ClientDirectories FrmOptions::RoundsOwner::Fields() const {
    ClientDirectories directories;
    for (std::size_t i = 0; i < frm_.txtPath.size(); ++i) {
        directories[i] = frm_.txtPath[i].Text();
    }
    return directories;
}

void FrmOptions::ShowReadings(const Readings& readings) {
    const PollResult result =
        PollClients(readings.directories, services_.locale(), readings.values);
    for (std::size_t i = 0; i < result.captions.size(); ++i) {
        if (result.captions[i]) {
            mnuPopup.SetProgressCaption(i, Widen(*result.captions[i]));
        }
    }
    tray_.SetTrayPicture(result.iconKey);
    tray_.SetTrayTip(result.tooltip);
    tray_.Update();
}

void FrmOptions::TrayCallback(LPARAM lParam) {
    switch (DecodeTrayCallback(lParam)) {
        case TrayAction::ShowOptions:
            ShowModeless();
            break;
        case TrayAction::PopupMenu: {
            POINT at{};
            ::GetCursorPos(&at);
            // A keyboard user who cancels the menu is given back their place in the
            // notification area; one who clicked elsewhere keeps what they clicked.
            if (mnuPopup.Popup(hwnd(), at) && ::GetForegroundWindow() == hwnd()) {
                tray_.NotifyTray(NIM_SETFOCUS);
            }
            break;
        }
        case TrayAction::None:
            break;
    }
}

void FrmOptions::txtUpdate_Validate() {
    if (IntervalValue(txtUpdate) < kMinInterval) {
        txtUpdate.SetText(L"1");
    }
    if (IntervalValue(txtUpdate) > kMaxInterval) {
        txtUpdate.SetText(L"60");
    }
}

LRESULT CALLBACK FrmOptions::txtUpdate_Procedure(HWND field, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    const LRESULT result = Control::CallOwnProcedure(field, message, wParam, lParam);
    // Only the field is told where the focus goes. The range rule runs when it moves on within
    // this window, not when the user turns to another program.
    if (message == WM_KILLFOCUS) {
        const HWND window = ::GetParent(field);
        auto* self = static_cast<FrmOptions*>(FromHandle(window));
        if (self != nullptr && ::IsChild(window, reinterpret_cast<HWND>(wParam))) {
            self->txtUpdate_Validate();
        }
    }
    return result;
}

void FrmOptions::cmdOK_Click() {
    const PollRounds::Hold hold(rounds_);
    txtUpdate_Validate();

    // Checked before anything is written, so a bad interval never reaches the store.
    const auto period = IntervalPeriodMs(Narrow(txtUpdate.Text()), services_.locale());
    if (!period) {
        services_.tell(hwnd(), L"The update interval must be a number of seconds from 1 to 60." +
                                   DecimalHint());
        ::SetFocus(txtUpdate.hwnd());
        ::SendMessageW(txtUpdate.hwnd(), EM_SETSEL, 0, -1);
        return;
    }

    const std::pair<const wchar_t*, const Control*> writes[] = {{kPathKeys[0], &txtPath[0]},
                                                                {kPathKeys[1], &txtPath[1]},
                                                                {kPathKeys[2], &txtPath[2]},
                                                                {kIntervalKey, &txtUpdate}};
    // A text the store could not give back unchanged is not saved, nor anything with it.
    for (const auto& [key, field] : writes) {
        if (!SettingFits(field->Text())) {
            services_.tell(hwnd(), std::wstring(L"The setting \"") + key +
                                       L"\" is too long to be saved: at most " +
                                       Widen(std::to_string(kMaxSettingChars)) + L" characters.");
            ::SetFocus(field->hwnd());
            return;
        }
    }
    for (const auto& [key, field] : writes) {
        if (!WriteSetting(services_.settings, key, field->Text())) {
            services_.tell(hwnd(), std::wstring(L"The setting \"") + key +
                                       L"\" could not be saved under " + kSettingsDisplayPath +
                                       L".");
            return;
        }
    }
    tmrCheck.SetPeriod(*period);
    Hide();
}

void FrmOptions::cmdClose_Click() {
    Unload();
}

void FrmOptions::cmdAbout_Click() {
    if (!frmAbout_) {
        frmAbout_ = std::make_unique<FrmAbout>();
    }
    frmAbout_->Show(hwnd());
}

void FrmOptions::mnuOptions_Click() {
    ShowModeless();
}

void FrmOptions::UpDown1_Delta(int delta) {
    // From the field's number, kept within range, to the next whole number that way.
    const double value = std::fmin(std::fmax(IntervalValue(txtUpdate), kMinInterval), kMaxInterval);
    double next = delta > 0 ? std::floor(value) + 1.0 : std::ceil(value) - 1.0;
    next = std::fmin(std::fmax(next, kMinInterval), kMaxInterval);
    txtUpdate.SetText(Widen(std::to_string(static_cast<int>(next))));
}

LRESULT FrmOptions::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (rounds_.OnMessage(message, wParam, lParam)) {
        return 0;
    }
    if (message == taskbarCreated_ && message != 0) {
        FollowTrayScale(true);
        return 0;
    }
    switch (message) {
        case WM_DPICHANGED:
        case WM_DISPLAYCHANGE:
        case WM_SETTINGCHANGE:
            // A new display scale: the pictures at the new size at once, not at the next tick.
            FollowTrayScale(false);
            break;
        case WM_TIMER:
            if (wParam == kCheckTimerId) {
                tmrCheck_Timer();
                return 0;
            }
            break;
        case WMAPP_NOTIFYCALLBACK:
            TrayCallback(lParam);
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == kUpDownId && header->code == UDN_DELTAPOS) {
                UpDown1_Delta(reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta);
                return TRUE;  // the control's own position stays put
            }
            break;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (code == BN_CLICKED) {  // also what a menu item sends
                switch (id) {
                    case kOkId:
                        cmdOK_Click();
                        return 0;
                    case kCloseId:
                    case PopupMenu::kExitId:
                        cmdClose_Click();
                        return 0;
                    case kAboutId:
                        cmdAbout_Click();
                        return 0;
                    case PopupMenu::kOptionsId:
                        mnuOptions_Click();
                        return 0;
                    default:
                        break;
                }
            }
            break;
        }
        default:
            break;
    }
    return Window::OnMessage(message, wParam, lParam);
}

}  // namespace vantorel
