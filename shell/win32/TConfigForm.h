// TConfigForm: the settings dialog: time between pictures, transition
// effect and speed, sound on or off, and the saver's information lines with
// its about picture.
//
// It is a top-level window owned by the window that was in front when the
// saver was started (the display settings); that window is disabled while
// the dialog runs its own modal loop and enabled and brought to the front
// when it closes. Enter works as OK and Escape as Cancel through two
// standard buttons that lie below the visible client area; the visible
// buttons are flat and never take the focus. The layout comes from
// ConfigDialogLayout and is scaled to the monitor's dots per inch, also when
// the dialog moves to a monitor with another scale.
//
// OK saves the four settings; when that fails the dialog says so once and
// closes. Cancel, Escape and closing the window save nothing.
#pragma once

#include "settings/AboutPictureTarget.h"
#include "settings/PreferenceEnvironment.h"
#include "shell/common/ConfigDialogLayout.h"
#include "platform/win32/DibSectionBitmap.h"
#include "shell/win32/StartupValues.h"

#include <windows.h>

#include <array>
#include <memory>

constexpr wchar_t ConfigClassName[] = L"KamishibaiConfig";

// Modal results.
constexpr int ModalResultNone = 0;
constexpr int ModalResultOk = 1;
constexpr int ModalResultCancel = 2;

class TConfigForm {
public:
    TConfigForm(HINSTANCE instance, const StartupValues& startup, const PreferenceEnvironment& environment);
    ~TConfigForm();
    TConfigForm(const TConfigForm&) = delete;
    TConfigForm& operator=(const TConfigForm&) = delete;

    int ShowModal();
    HWND Handle() const { return window_; }

private:
    // The about picture's bitmap, a DIB section the dialog paints from.
    class AboutPicture final : public AboutPictureTarget {
    public:
        TBitmap* Resize(int32_t width, int32_t height) override;
        DibSectionBitmap* Bitmap() const { return bitmap_.get(); }

    private:
        std::unique_ptr<DibSectionBitmap> bitmap_;
    };

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void FormShow();
    void ApplyLayout(UINT dpi);
    void MakeFonts(UINT dpi);
    void PaintAboutPicture(HDC dc);
    HBRUSH LabelColours(HDC dc, HWND control);
    void Centre();

    void SlideshowEffectComboChange();
    void OkBtnClick();
    void CancelBtnClick();
    void Close();

    HWND Control(ConfigControl control) const { return controls_[static_cast<size_t>(control)]; }
    int Scaled(int32_t value) const { return MulDiv(value, static_cast<int>(dpi_), 96); }

    HINSTANCE instance_;
    StartupValues startup_;
    PreferenceEnvironment environment_;
    HWND window_ = nullptr;
    std::array<HWND, ConfigControlCount> controls_{};
    ConfigDialogLayout layout_;
    UINT dpi_ = 96;
    HBRUSH background_ = nullptr;
    HFONT font_ = nullptr;      // the form's font: the dialog's own texts
    HFONT boldFont_ = nullptr;  // the name line
    HFONT infoFont_ = nullptr;  // the other information lines
    HFONT listFont_ = nullptr;  // the lists
    AboutPicture about_;
    HWND focused_ = nullptr;  // the control that gets the keys when the dialog is activated
    int modalResult_ = ModalResultNone;
};

// Shows the dialog modally over StartupValues::ConfigOwner and frees it.
void ShowConfigDialog(HINSTANCE instance, const StartupValues& startup, const PreferenceEnvironment& environment);
