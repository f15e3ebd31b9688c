#pragma once
// frmOptions: the options window, and the hidden main window that owns the tray icon, the
// poll timer, the pictures and the popup menu for the whole run.

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "core/numbers.h"
#include "core/state_file.h"
#include "options/poll_rounds.h"
#include "options/settings.h"
#include "tray/image_list.h"
#include "tray/popup_menu.h"
#include "tray/tray_icon.h"
#include "tray/window.h"

namespace vantorel {

class FrmAbout;

// What the window needs from outside; tests give their own.
struct OptionsServices {
    SettingsStore& settings;
    ShellNotify shell;
    // Tells the user something they can act on (a bad interval, a failed save).
    std::function<void(HWND owner, const std::wstring& text)> tell;
    std::function<NumberLocale()> locale;
    // Reads a client's progress; it runs off the window thread.
    ProgressReader read = ReadClientProgress;
    // The notification area's icon size; TrayIconSize when empty.
    std::function<int()> traySize = {};
    // Makes the reader's threads; tests make it fail.
    ClientReader::StartFunction start = ::CreateThread;
    // Gives back the I/O of a read that is no longer wanted; tests watch it.
    ClientReader::CancelFunction cancel = ClientReader::CancelThreadIo;
};

class FrmOptions : public Window {
  public:
    // Command ids of the controls, in tab order.
    static constexpr int kPathId = 101;  // txtPath index n has kPathId + n
    static constexpr int kUpdateId = 104;
    static constexpr int kUpDownId = 105;
    static constexpr int kCloseId = 106;
    static constexpr int kOkId = 107;
    static constexpr int kAboutId = 108;
    static constexpr UINT_PTR kCheckTimerId = 1;
    static constexpr UINT kDesignPeriodMs = 1000;

    explicit FrmOptions(OptionsServices services);
    ~FrmOptions() override;

    // The start of the program: creates the window and runs its load, then shows it unless
    // the load hid it.
    void Start();

    // The live state, for the tick and for tests.
    const std::array<Control, 3>& Paths() const { return txtPath; }
    const Control& UpdateField() const { return txtUpdate; }
    const Timer& CheckTimer() const { return tmrCheck; }
    const TrayIcon& Tray() const { return tray_; }
    const PopupMenu& Menu() const { return mnuPopup; }
    const ImageList& Icons() const { return imlIcons; }
    FrmAbout* About() const { return frmAbout_.get(); }
    // A tick's reads are out and its result is not shown yet.
    bool ReadsPending() const { return rounds_.Pending(); }

    // The range rule of the interval field: below 1 becomes "1", above 60 becomes "60".
    void txtUpdate_Validate();

  protected:
    Frame Describe() const override;
    void CreateControls() override;
    void Layout(UINT dpi) override;
    void BeforeControls() override;
    void Form_Load() override;
    bool Form_QueryUnload(CloseReason reason) override;
    void Form_Unload() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int DefaultButtonId() const override { return kOkId; }
    void OnEscape() override;

  private:
    // What the rounds of the poll see of the window. A member rather than a second base
    // class, which would bring the runtime's support of multiple inheritance into the program.
    class RoundsOwner final : public PollRounds::Owner {
      public:
        explicit RoundsOwner(FrmOptions& frm) : frm_(frm) {}
        ClientDirectories Fields() const override;
        UINT Period() const override { return frm_.tmrCheck.Period(); }
        void ShowReadings(const Readings& readings) override { frm_.ShowReadings(readings); }

      private:
        FrmOptions& frm_;
    };

    void tmrCheck_Timer();
    void ShowReadings(const Readings& readings);
    void TrayCallback(LPARAM lParam);
    void cmdOK_Click();
    void cmdClose_Click();
    void cmdAbout_Click();
    void mnuOptions_Click();
    void UpDown1_Delta(int delta);
    // The interval field's own messages, before the edit control's: where its focus goes.
    static LRESULT CALLBACK txtUpdate_Procedure(HWND field, UINT message, WPARAM wParam,
                                                LPARAM lParam);
    std::wstring DecimalHint() const;

    int TraySize() const;
    // Loads the pictures anew when the notification area's icon size has changed and shows
    // the icon's picture at the new size; `readd` adds it to a new notification area.
    void FollowTrayScale(bool readd);
    void SetCaptionIcons(UINT dpi);

    OptionsServices services_;
    UINT taskbarCreated_;
    int traySize_;  // the notification area's icon size the pictures were last loaded for

    ImageList imlIcons;
    TrayIcon tray_;
    PopupMenu mnuPopup;
    Timer tmrCheck{kCheckTimerId, kDesignPeriodMs};
    RoundsOwner roundsOwner_{*this};
    PollRounds rounds_;
    UniqueFont font_;
    UniqueIcon captionSmall_, captionBig_;

    Control Label1, Label2, Label3, Label4, Label5;
    std::array<Control, 3> txtPath;
    Control txtUpdate, UpDown1, cmdClose, cmdOK, cmdAbout;

    bool hiddenByLoad_ = false;
    std::wstring loadMessage_;  // told once the load is over
    std::unique_ptr<FrmAbout> frmAbout_;
};

}  // namespace vantorel
