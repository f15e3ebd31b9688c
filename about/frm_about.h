#pragma once
// frmAbout: title, credits and instructions, shown modal over the options window. One object
// for the run; every opening loads the window afresh.

#include <windows.h>

#include <string>

#include "tray/handles.h"
#include "tray/window.h"

namespace vantorel {

class FrmAbout : public Window {
  public:
    static constexpr int kTitleId = 401;
    static constexpr int kTextId = 402;
    static constexpr int kOkId = 403;
    static constexpr int kInstructionsId = 404;
    static constexpr int kDishId = 405;   // Image2
    static constexpr int kBadgeId = 406;  // Image1

    FrmAbout();
    ~FrmAbout() override;

    // Loads the window and shows it modal, centred on the owner; returns once it has gone.
    void Show(HWND owner);

    const Control& Title() const { return lblTitle; }
    const Control& Credits() const { return lblText; }
    const Control& Instructions() const { return txtInstructions; }
    const Control& OkButton() const { return btnOK; }
    const Control& Dish() const { return Image2; }
    const Control& Badge() const { return Image1; }
    HWND BadgeTip() const { return badgeTip_; }

    static std::wstring CreditsText();
    static std::wstring InstructionsText();
    static const wchar_t* BadgeLine();

  protected:
    Frame Describe() const override;
    void CreateControls() override;
    void Layout(UINT dpi) override;
    void Form_Load() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int DefaultButtonId() const override { return kOkId; }
    void OnEscape() override { btnOK_Click(); }

  private:
    void btnOK_Click();
    void DrawPicture(const DRAWITEMSTRUCT& item) const;

    HWND owner_ = nullptr;
    UniqueIcon dishPicture_;
    UniqueIcon badgePicture_;
    UniqueFont font_;
    UniqueFont titleFont_;
    HWND badgeTip_ = nullptr;

    Control lblTitle, lblText, btnOK, txtInstructions, Image1, Image2;
};

}  // namespace vantorel
