#include "shell/win32/TConfigForm.h"

#include "platform/TextEncoding.h"
#include "platform/win32/WideText.h"
#include "settings/PreferenceStore.h"
#include "settings/SSInfo.h"
#include "shell/win32/FlatButton.h"
#include "shell/win32/SaverWindowClass.h"
#include "shell/win32/WindowOwner.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

constexpr COLORREF FormColour = RGB(226, 235, 250);
constexpr COLORREF NoticeColour = RGB(0, 128, 0);  // green
constexpr int FormFontPixels = 12;
// Not WS_CLIPCHILDREN: the group box and the labels are transparent and
// need the form's background under them.
constexpr DWORD FormStyle = WS_POPUP | WS_CAPTION;
constexpr DWORD FormExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// Drop-down lists open this many items high (dialog units).
constexpr int32_t DropDownHeight = 200;

constexpr wchar_t PFontFace[] = L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF";  // "ＭＳ Ｐゴシック"
constexpr wchar_t FixedFontFace[] = L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF";    // "ＭＳ ゴシック"
// English texts take the font of the system's dialogs: a system without
// Japanese has no Gothic.
constexpr wchar_t DialogFontFace[] = L"Tahoma";

struct FontChoice {
    const wchar_t* face;
    BYTE charset;
};

FontChoice FormFontOf(UserLanguage language)
{
    if (language == UserLanguage::Japanese) return {PFontFace, SHIFTJIS_CHARSET};
    return {DialogFontFace, DEFAULT_CHARSET};
}

FontChoice ListFontOf(UserLanguage language)
{
    if (language == UserLanguage::Japanese) return {FixedFontFace, SHIFTJIS_CHARSET};
    return {DialogFontFace, DEFAULT_CHARSET};
}

int ControlId(ConfigControl control)
{
    switch (control) {
    case ConfigControl::OkBtn_: return IDOK;
    case ConfigControl::CancelBtn_: return IDCANCEL;
    default: return 100 + static_cast<int>(control);
    }
}

// Per-monitor scale where the system has it (Windows 10 and later), else 96.
UINT DpiOf(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpi != nullptr && window != nullptr ? getDpi(window) : 0;
    return dpi != 0 ? dpi : 96;
}

RECT WindowRectForClient(int width, int height, UINT dpi)
{
    RECT rect{0, 0, width, height};
    using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi != nullptr)
        adjustForDpi(&rect, FormStyle, FALSE, FormExtendedStyle, dpi);
    else
        AdjustWindowRectEx(&rect, FormStyle, FALSE, FormExtendedStyle);
    return rect;
}

HFONT MakeFont(FontChoice font, int pixels, bool bold)
{
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, font.charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       font.face);
}

// Relative luminance of a colour, as contrast ratios are computed.
double LuminanceOf(COLORREF colour)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) +
           0.0722 * channel(GetBValue(colour));
}

// The name line is in the system's hot-light colour; where a system's theme
// makes that colour unreadable on the dialog's pale blue (some set it to a
// light grey), the usual hot-light blue stands in.
COLORREF NameLineColour()
{
    const COLORREF hotLight = GetSysColor(COLOR_HOTLIGHT);
    const double lighter = std::max(LuminanceOf(hotLight), LuminanceOf(FormColour));
    const double darker = std::min(LuminanceOf(hotLight), LuminanceOf(FormColour));
    return (lighter + 0.05) / (darker + 0.05) >= 3.0 ? hotLight : RGB(0, 102, 204);
}

struct ControlKind {
    const wchar_t* className;
    DWORD style;
};

ControlKind KindOf(ConfigControl control)
{
    constexpr DWORD label = WS_CHILD | SS_NOPREFIX;
    switch (control) {
    case ConfigControl::ScrNameLabel:
    case ConfigControl::ScrVersLabel:
    case ConfigControl::ScrCpy1Label:
    case ConfigControl::ScrCpy2Label:
        // One line, centred; a longer text is cut at both ends, not wrapped.
        return {L"STATIC", label | SS_CENTER | SS_CENTERIMAGE};
    case ConfigControl::Label1:
    case ConfigControl::Label3:
    case ConfigControl::Label4: return {L"STATIC", label | SS_OWNERDRAW};
    case ConfigControl::OkBtn:
    case ConfigControl::CancelBtn: return {FlatButtonClassName, WS_CHILD};
    case ConfigControl::AboutImage: return {nullptr, 0};  // painted by the form
    case ConfigControl::OkBtn_: return {L"BUTTON", WS_CHILD | BS_DEFPUSHBUTTON};
    case ConfigControl::CancelBtn_: return {L"BUTTON", WS_CHILD | BS_PUSHBUTTON};
    case ConfigControl::GroupBox1: return {L"BUTTON", WS_CHILD | BS_GROUPBOX};  // made transparent below
    case ConfigControl::SlideshowWaitCombo:
    case ConfigControl::SlideshowEffectCombo:
    case ConfigControl::SlideshowEffectSpeedCombo:
        return {WC_COMBOBOXW, WS_CHILD | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
    case ConfigControl::SlideshowSoundUseCB: return {L"BUTTON", WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX};
    }
    return {nullptr, 0};
}

// The settings labels are spaced with ideographic spaces to line up with
// each other; fonts differ in how wide those spaces are. A label whose text
// is wider than its place is drawn with its spaces narrowed (or, without
// spaces, its characters drawn closer) so that it fits, right-aligned as
// designed, instead of being cut.
void DrawFittedLabel(const DRAWITEMSTRUCT& item, HBRUSH background, HFONT font)
{
    wchar_t text[64] = {};
    const int length = GetWindowTextW(item.hwndItem, text, 64);
    HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, background);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    std::vector<INT> advances(static_cast<size_t>(length));
    int total = 0;
    int spaces = 0;
    for (int i = 0; i < length; ++i) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text + i, 1, &size);
        advances[static_cast<size_t>(i)] = size.cx;
        total += size.cx;
        if (text[i] == L' ' || text[i] == L'\u3000') ++spaces;
    }
    const int width = item.rcItem.right - item.rcItem.left;
    if (total > width && length > 1) {
        int excess = total - width;
        const int shrinking = spaces > 0 ? spaces : length - 1;
        for (int i = 0, done = 0; i < length && excess > 0; ++i) {
            const bool space = text[i] == L' ' || text[i] == L'\u3000';
            if (spaces > 0 ? !space : i == length - 1) continue;
            const int left = shrinking - done;  // narrowings still to make, the excess spread over them
            const int cut = std::min(advances[static_cast<size_t>(i)], (excess + left - 1) / left);
            advances[static_cast<size_t>(i)] -= cut;
            excess -= cut;
            total -= cut;
            ++done;
        }
    }
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int x = item.rcItem.right - std::min(total, width);
    const int y = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - metrics.tmHeight) / 2;
    ExtTextOutW(dc, x, y, ETO_CLIPPED, &item.rcItem, text, static_cast<UINT>(length), advances.data());
    SelectObject(dc, previous);
}

std::wstring DesignTextOf(ConfigControl control, UserLanguage language)
{
    const auto text = [language](DisplayText which) { return Utf16Of(TextIn(which, language)); };
    switch (control) {
    case ConfigControl::OkBtn: return L"Ok";
    case ConfigControl::CancelBtn: return L"Cancel";
    case ConfigControl::OkBtn_: return text(DisplayText::OkCaption);
    case ConfigControl::CancelBtn_: return text(DisplayText::CancelCaption);
    case ConfigControl::GroupBox1: return text(DisplayText::GroupCaption);
    case ConfigControl::Label1: return text(DisplayText::WaitLabel);
    case ConfigControl::Label3: return text(DisplayText::EffectLabel);
    case ConfigControl::Label4: return text(DisplayText::SoundLabel);
    case ConfigControl::SlideshowSoundUseCB: return text(DisplayText::SoundCheckBox);
    default: return L"";
    }
}

void FillList(HWND list, auto const& items)
{
    for (const auto& item : items) {
        const std::wstring text = Utf16Of(item);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

int SelectedIndex(HWND list)
{
    return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));  // CB_ERR (-1): none
}

}  // namespace

TBitmap* TConfigForm::AboutPicture::Resize(int32_t width, int32_t height)
{
    std::unique_ptr<DibSectionBitmap> bitmap = DibSectionBitmap::Create(width, height);
    if (bitmap == nullptr) return nullptr;
    bitmap_ = std::move(bitmap);
    return bitmap_.get();
}

TConfigForm::TConfigForm(HINSTANCE instance, const StartupValues& startup, const PreferenceEnvironment& environment)
    : instance_(instance), startup_(startup), environment_(environment), layout_(DesignConfigLayout(startup.Language))
{
    background_ = CreateSolidBrush(FormColour);
    RegisterFlatButtonClass(instance);
    RegisterSaverWindowClass(instance, ConfigClassName, WindowProcedure, background_);

    // A top-level window owned by the display settings, not a child inside
    // them.
    const RECT frame = WindowRectForClient(layout_.clientWidth, layout_.clientHeight, 96);
    const std::wstring caption = Utf16Of(TextIn(DisplayText::ConfigDesignCaption, startup_.Language));
    window_ = CreateWindowExW(FormExtendedStyle, ConfigClassName, caption.c_str(), FormStyle, -500, -500,
                              frame.right - frame.left, frame.bottom - frame.top, startup_.ConfigOwner, nullptr,
                              instance, this);
    if (window_ == nullptr) throw std::runtime_error("The settings dialog could not be created.");
    CreateControls();
    // Places, fonts and size follow in FormShow, once the information lines
    // are known: laying the dialog out here as well would only be redone.
    dpi_ = DpiOf(window_);
}

TConfigForm::~TConfigForm()
{
    if (window_ != nullptr) DestroyWindow(window_);
    for (HFONT font : {font_, boldFont_, infoFont_, listFont_})
        if (font != nullptr) DeleteObject(font);
    // The class keeps the brush until the class goes with the process.
}

void TConfigForm::CreateControls()
{
    for (size_t index = 0; index < ConfigControlCount; ++index) {
        const auto control = static_cast<ConfigControl>(index);
        const ControlKind kind = KindOf(control);
        if (kind.className == nullptr) continue;
        const std::wstring text = DesignTextOf(control, startup_.Language);
        const DWORD extended = control == ConfigControl::GroupBox1 ? WS_EX_TRANSPARENT : 0;
        controls_[index] = CreateWindowExW(extended, kind.className, text.c_str(), kind.style, 0, 0, 0, 0, window_,
                                           reinterpret_cast<HMENU>(static_cast<intptr_t>(ControlId(control))),
                                           instance_, nullptr);
    }
    FillList(Control(ConfigControl::SlideshowWaitCombo), WaitItems(startup_.Language));
    FillList(Control(ConfigControl::SlideshowEffectCombo), EffectItems(startup_.Language));
    FillList(Control(ConfigControl::SlideshowEffectSpeedCombo), SpeedItems(startup_.Language));
    SetFlatButtonBackground(Control(ConfigControl::OkBtn), FormColour);
    SetFlatButtonBackground(Control(ConfigControl::CancelBtn), FormColour);
}

void TConfigForm::MakeFonts(UINT dpi)
{
    for (HFONT* font : {&font_, &boldFont_, &infoFont_, &listFont_}) {
        if (*font != nullptr) DeleteObject(*font);
        *font = nullptr;
    }
    const int pixels = MulDiv(FormFontPixels, static_cast<int>(dpi), 96);
    font_ = MakeFont(FormFontOf(startup_.Language), pixels, false);
    // The information lines are the archive's Shift-JIS text, meant for a
    // Japanese system: they keep the Japanese form font in either language.
    boldFont_ = MakeFont(FormFontOf(UserLanguage::Japanese), pixels, true);
    infoFont_ = MakeFont(FormFontOf(UserLanguage::Japanese), pixels, false);
    listFont_ = MakeFont(ListFontOf(startup_.Language), pixels, false);
}

void TConfigForm::ApplyLayout(UINT dpi)
{
    dpi_ = dpi;
    MakeFonts(dpi);
    for (size_t index = 0; index < ConfigControlCount; ++index) {
        HWND control = controls_[index];
        if (control == nullptr) continue;
        const auto which = static_cast<ConfigControl>(index);
        const ControlPlace& place = layout_.places[index];
        HFONT font = font_;
        if (which == ConfigControl::ScrNameLabel) font = boldFont_;
        if (which == ConfigControl::ScrVersLabel || which == ConfigControl::ScrCpy1Label ||
            which == ConfigControl::ScrCpy2Label)
            font = infoFont_;
        const bool list = which == ConfigControl::SlideshowWaitCombo || which == ConfigControl::SlideshowEffectCombo ||
                          which == ConfigControl::SlideshowEffectSpeedCombo;
        if (list) font = listFont_;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const int height = Scaled(list ? DropDownHeight : place.height);
        SetWindowPos(control, nullptr, Scaled(place.left), Scaled(place.top), Scaled(place.width), height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(control, place.visible ? SW_SHOWNA : SW_HIDE);
    }
    const RECT frame = WindowRectForClient(Scaled(layout_.clientWidth), Scaled(layout_.clientHeight), dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    InvalidateRect(window_, nullptr, TRUE);
}

void TConfigForm::FormShow()
{
    const std::wstring caption = Utf16Of(ConfigCaption(startup_.SaverName, startup_.Language));
    SetWindowTextW(window_, caption.c_str());

    SlideshowPreference preference;
    LoadPreference(environment_, startup_.SettingsFileName, preference, &about_);
    SendMessageW(Control(ConfigControl::SlideshowWaitCombo), CB_SETCURSEL,
                 static_cast<WPARAM>(ListIndexOf(preference.Word(PreferenceWord::SlideshowWait), 16)), 0);
    SendMessageW(Control(ConfigControl::SlideshowEffectCombo), CB_SETCURSEL,
                 static_cast<WPARAM>(ListIndexOf(preference.Word(PreferenceWord::SlideshowEffect), 5)), 0);
    SendMessageW(Control(ConfigControl::SlideshowEffectSpeedCombo), CB_SETCURSEL,
                 static_cast<WPARAM>(ListIndexOf(preference.Word(PreferenceWord::SlideshowEffectSpeed), 5)), 0);
    SendMessageW(Control(ConfigControl::SlideshowSoundUseCB), BM_SETCHECK,
                 preference.SlideshowSoundUse() ? BST_CHECKED : BST_UNCHECKED, 0);

    // The visible buttons take the standard buttons' captions.
    wchar_t text[64] = {};
    GetWindowTextW(Control(ConfigControl::OkBtn_), text, 64);
    SetWindowTextW(Control(ConfigControl::OkBtn), text);
    GetWindowTextW(Control(ConfigControl::CancelBtn_), text, 64);
    SetWindowTextW(Control(ConfigControl::CancelBtn), text);

    const bool showPicture = SSInfo.AboutPicture() != 0 && about_.Bitmap() != nullptr;
    const int32_t pictureWidth = about_.Bitmap() != nullptr ? about_.Bitmap()->Width() : DesignAboutPictureWidth;
    layout_ = FitConfigLayout(SSInfo, pictureWidth, showPicture, startup_.Language);
    for (const ConfigControl label : {ConfigControl::ScrNameLabel, ConfigControl::ScrVersLabel,
                                      ConfigControl::ScrCpy1Label, ConfigControl::ScrCpy2Label}) {
        const std::wstring line = Utf16Of(ShiftJisToUtf8(SSInfo.Line(LineOfLabel(label))).text);
        SetWindowTextW(Control(label), line.c_str());
    }
    ApplyLayout(dpi_);
}

void TConfigForm::Centre()
{
    RECT dialog;
    GetWindowRect(window_, &dialog);
    const int width = dialog.right - dialog.left;
    const int height = dialog.bottom - dialog.top;
    RECT area;
    if (startup_.ConfigOwner != nullptr) {
        GetWindowRect(startup_.ConfigOwner, &area);
    } else {
        // No window in front at start: the primary monitor's work area, not
        // somewhere off the screen.
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int left = area.left + ((area.right - area.left - width) >> 1);
    const int top = area.top + ((area.bottom - area.top - height) >> 1);
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

int TConfigForm::ShowModal()
{
    modalResult_ = ModalResultNone;
    HWND owner = GetWindow(window_, GW_OWNER);
    SetWindowPos(window_, nullptr, -500, -500, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    FormShow();
    // Centred before it shows: with a monitor left of or above the main one,
    // (-500, -500) is on screen.
    Centre();
    ShowWindow(window_, SW_SHOW);
    bool ownerWasEnabled = false;
    if (owner != nullptr) {
        ownerWasEnabled = IsWindowEnabled(owner) != FALSE;
        EnableWindow(owner, FALSE);
    }
    SetForegroundWindow(window_);
    focused_ = Control(ConfigControl::SlideshowWaitCombo);
    SetFocus(focused_);

    MSG message;
    while (modalResult_ == ModalResultNone) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // for the caller's loop
            modalResult_ = ModalResultCancel;
            break;
        }
        if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // Enabled before it is brought forward, so that the system lets it be
    // the active window again.
    if (owner != nullptr && ownerWasEnabled) EnableWindow(owner, TRUE);
    if (owner != nullptr && (window_ == nullptr || !IsWindowVisible(window_))) SetForegroundWindow(owner);
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
    if (modalResult_ == ModalResultNone) modalResult_ = ModalResultCancel;
    return modalResult_;
}

void TConfigForm::SlideshowEffectComboChange()
{
    EnableWindow(Control(ConfigControl::SlideshowEffectSpeedCombo),
                 SpeedListEnabled(SelectedIndex(Control(ConfigControl::SlideshowEffectCombo))));
}

void TConfigForm::OkBtnClick()
{
    const bool soundOn =
        SendMessageW(Control(ConfigControl::SlideshowSoundUseCB), BM_GETCHECK, 0, 0) == BST_CHECKED;
    const SlideshowPreference preference = PreferenceOfChoices(
        SelectedIndex(Control(ConfigControl::SlideshowWaitCombo)),
        SelectedIndex(Control(ConfigControl::SlideshowEffectCombo)),
        SelectedIndex(Control(ConfigControl::SlideshowEffectSpeedCombo)), soundOn);
    if (!SavePreference(environment_, startup_.SettingsFileName, preference)) {
        const std::wstring text = Utf16Of(TextIn(DisplayText::SaveFailed, startup_.Language));
        wchar_t caption[128] = {};
        GetWindowTextW(window_, caption, 128);
        MessageBoxW(window_, text.c_str(), caption, MB_OK | MB_ICONERROR);
    }
    Close();
}

void TConfigForm::CancelBtnClick()
{
    Close();
}

void TConfigForm::Close()
{
    ShowWindow(window_, SW_HIDE);
}

HBRUSH TConfigForm::LabelColours(HDC dc, HWND control)
{
    SetBkMode(dc, TRANSPARENT);
    COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    if (control == Control(ConfigControl::ScrNameLabel))
        text = NameLineColour();
    else if (control == Control(ConfigControl::ScrVersLabel) || control == Control(ConfigControl::ScrCpy1Label) ||
             control == Control(ConfigControl::ScrCpy2Label))
        text = NoticeColour;
    SetTextColor(dc, text);
    return background_;
}

void TConfigForm::PaintAboutPicture(HDC dc)
{
    const ControlPlace& place = layout_[ConfigControl::AboutImage];
    DibSectionBitmap* picture = about_.Bitmap();
    if (!place.visible || picture == nullptr) return;
    // The picture at its own size from the box's corner, cut to the box.
    const int width = std::min(picture->Width(), place.width);
    const int height = std::min(picture->Height(), place.height);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, Scaled(place.left), Scaled(place.top), Scaled(width), Scaled(height), picture->DeviceContext(), 0, 0,
               width, height, SRCCOPY);
}

LRESULT CALLBACK TConfigForm::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = WindowOwner<TConfigForm>(window, message, lParam);
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCCREATE) form->window_ = window;  // CreateWindowExW has not returned it yet
    try {
        return form->Dispatch(message, wParam, lParam);
    } catch (const std::exception& failure) {
        ShowErrorBox(window, failure.what());
        form->modalResult_ = ModalResultCancel;
        return 0;
    }
}

LRESULT TConfigForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == ControlId(ConfigControl::SlideshowEffectCombo) && code == CBN_SELCHANGE) {
            SlideshowEffectComboChange();
        } else if (id == IDOK || id == ControlId(ConfigControl::OkBtn)) {
            if (id == IDOK) modalResult_ = ModalResultOk;
            OkBtnClick();
        } else if (id == IDCANCEL || id == ControlId(ConfigControl::CancelBtn)) {
            if (id == IDCANCEL) modalResult_ = ModalResultCancel;
            CancelBtnClick();
        }
        return 0;
    }
    case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_STATIC) break;
        DrawFittedLabel(*item, background_, font_);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return reinterpret_cast<LRESULT>(LabelColours(reinterpret_cast<HDC>(wParam),
                                                                         reinterpret_cast<HWND>(lParam)));
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window_, &paint);
        if (dc != nullptr) PaintAboutPicture(dc);
        EndPaint(window_, &paint);
        return 0;
    }
    case WM_ACTIVATE:
        // The keys go on to the control that had them when the dialog was
        // left, as in any dialog.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(window_, focus)) focused_ = focus;
        } else if (focused_ != nullptr && IsWindow(focused_)) {
            SetFocus(focused_);
            return 0;
        }
        break;
    case WM_SHOWWINDOW:
        if (!wParam && modalResult_ == ModalResultNone) modalResult_ = ModalResultCancel;
        break;
    case WM_CLOSE: Close(); return 0;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ApplyLayout(HIWORD(wParam));
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
        return 0;
    }
    case WM_DESTROY:
        if (modalResult_ == ModalResultNone) modalResult_ = ModalResultCancel;
        break;
    case WM_NCDESTROY: {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        HWND window = window_;
        window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void ShowConfigDialog(HINSTANCE instance, const StartupValues& startup, const PreferenceEnvironment& environment)
{
    TConfigForm form(instance, startup, environment);
    form.ShowModal();
}
