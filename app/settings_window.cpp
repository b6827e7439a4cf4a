#include "app/settings_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <filesystem>
#include <string>

#include "app/display_scaling.h"
#include "app/ui_resources.h"
#include "settings/lua_options.h"
#include "state/file_replace.h"
#include "state/install_folder_lock.h"

namespace {

constexpr DWORD kTextStyle = SS_LEFT;
constexpr DWORD kPercentStyle = SS_RIGHT;
constexpr DWORD kCheckBoxStyle = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kEditStyle = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kButtonStyle = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDefaultButtonStyle = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kGroupStyle = BS_GROUPBOX;
constexpr DWORD kListStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kSliderStyle = TBS_HORZ | TBS_NOTICKS | WS_TABSTOP;

constexpr int kFontNameLimit = kFontNameMaxChars;
constexpr int kNumberLimit = 6;
constexpr int kReadChars = 31;  // texts are read back as at most this many characters

constexpr const wchar_t* kInstallRunningMessage =
    L"Sarnhold is being installed or repaired in this folder. Save again when it has finished.";
constexpr const wchar_t* kReadOnlyMessageEnd =
    L" is read-only, so nothing was saved. Clear its read-only attribute to save these settings.";

// One row of the form; the order of the table is the creation and tab order.
struct ControlRow {
    const wchar_t* className;
    const wchar_t* text;
    int id;  // 0: no id
    int x, y, width, height;
    DWORD style;
    DWORD exStyle;
    int textLimit;                        // 0: no limit
    HWND SettingsWindowState::*remember;  // where the handle is kept, if anywhere
};

const ControlRow kControls[] = {
    {L"STATIC", L"Default is the original game font. Changes apply on restart.", 0, 18, 16, 500, 20, kTextStyle, 0,
     0, nullptr},
    {L"BUTTON", L"Enable custom font adjustments (default: off)", IDC_FONT_ENABLED, 18, 45, 390, 24, kCheckBoxStyle,
     0, 0, nullptr},
    {L"STATIC", L"Font name", 0, 18, 82, 140, 20, kTextStyle, 0, 0, nullptr},
    {L"EDIT", L"", IDC_FONT_NAME, 165, 78, 235, 24, kEditStyle, WS_EX_CLIENTEDGE, kFontNameLimit, nullptr},
    {L"BUTTON", L"Choose Font...", IDC_CHOOSE_FONT, 410, 77, 115, 27, kButtonStyle, 0, 0, nullptr},
    {L"BUTTON", L"Force this font for named UI fonts", IDC_FORCE_FONT, 165, 108, 310, 23, kCheckBoxStyle, 0, 0,
     nullptr},
    {L"STATIC", L"Unchecked is safest for special and Korean glyph fonts.", 0, 160, 131, 369, 20, kTextStyle, 0, 0,
     nullptr},
    {L"BUTTON", L"Sizing and readability", 0, 14, 159, 515, 184, kGroupStyle, 0, 0, nullptr},
    {L"STATIC", L"Scale percent (100 = original)", 0, 35, 187, 260, 20, kTextStyle, 0, 0, nullptr},
    {L"EDIT", L"", IDC_SCALE_PERCENT, 330, 183, 85, 24, kEditStyle, WS_EX_CLIENTEDGE, kNumberLimit, nullptr},
    {L"STATIC", L"Weight offset (0 = original)", 0, 35, 218, 260, 20, kTextStyle, 0, 0, nullptr},
    {L"EDIT", L"", IDC_WEIGHT_OFFSET, 330, 214, 85, 24, kEditStyle, WS_EX_CLIENTEDGE, kNumberLimit, nullptr},
    {L"STATIC", L"Minimum original height", 0, 35, 249, 260, 20, kTextStyle, 0, 0, nullptr},
    {L"EDIT", L"", IDC_MIN_ORIGINAL_HEIGHT, 330, 245, 85, 24, kEditStyle, WS_EX_CLIENTEDGE, kNumberLimit, nullptr},
    {L"STATIC", L"Maximum original height (0 = no limit)", 0, 35, 280, 285, 20, kTextStyle, 0, 0, nullptr},
    {L"EDIT", L"", IDC_MAX_ORIGINAL_HEIGHT, 330, 276, 85, 24, kEditStyle, WS_EX_CLIENTEDGE, kNumberLimit, nullptr},
    {L"STATIC", L"Maximum result height (0 = no cap)", 0, 35, 311, 285, 20, kTextStyle, 0, 0, nullptr},
    {L"EDIT", L"", IDC_MAX_RESULT_HEIGHT, 330, 307, 85, 24, kEditStyle, WS_EX_CLIENTEDGE, kNumberLimit, nullptr},
    {L"BUTTON", L"Block external website launches (Hollowmere signup stays allowed)", IDC_BLOCK_EXTERNAL_URLS, 18,
     354, 500, 24, kCheckBoxStyle, 0, 0, nullptr},
    {L"BUTTON", L"Game display and audio", 0, 14, 388, 515, 124, kGroupStyle, 0, 0, nullptr},
    {L"STATIC", L"Resolution", 0, 35, 417, 90, 20, kTextStyle, 0, 0, nullptr},
    {L"COMBOBOX", L"", IDC_RESOLUTION, 125, 412, 170, 220, kListStyle, 0, 0, nullptr},
    {L"BUTTON", L"Fullscreen", IDC_FULLSCREEN, 320, 413, 110, 24, kCheckBoxStyle, 0, 0, nullptr},
    {L"BUTTON", L"Music", IDC_MUSIC_ON, 35, 447, 95, 24, kCheckBoxStyle, 0, 0, nullptr},
    {TRACKBAR_CLASSW, L"", IDC_MUSIC_VOLUME, 150, 443, 270, 28, kSliderStyle, 0, 0, nullptr},
    {L"STATIC", L"0%", 0, 430, 448, 55, 20, kPercentStyle, 0, 0, &SettingsWindowState::musicPercent},
    {L"BUTTON", L"Sound effects", IDC_SOUND_ON, 35, 478, 112, 24, kCheckBoxStyle, 0, 0, nullptr},
    {TRACKBAR_CLASSW, L"", IDC_EFFECT_VOLUME, 150, 474, 270, 28, kSliderStyle, 0, 0, nullptr},
    {L"STATIC", L"0%", 0, 430, 479, 55, 20, kPercentStyle, 0, 0, &SettingsWindowState::effectPercent},
    {L"BUTTON", L"Reset to defaults", IDC_RESET_DEFAULTS, 18, 530, 135, 30, kButtonStyle, 0, 0, nullptr},
    {L"BUTTON", L"Save", IDC_SAVE_SETTINGS, 415, 530, 110, 30, kDefaultButtonStyle, 0, 0, nullptr},
};

// The controls that follow the enable box.
constexpr int kFontControlIds[] = {
    IDC_FONT_NAME,     IDC_CHOOSE_FONT,         IDC_FORCE_FONT,          IDC_SCALE_PERCENT,
    IDC_WEIGHT_OFFSET, IDC_MIN_ORIGINAL_HEIGHT, IDC_MAX_ORIGINAL_HEIGHT, IDC_MAX_RESULT_HEIGHT,
};

bool IsChecked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

void SetChecked(HWND window, int id, bool checked) {
    CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::wstring ReadShortText(HWND window, int id) {
    wchar_t buffer[kReadChars + 1] = {};
    GetWindowTextW(GetDlgItem(window, id), buffer, kReadChars + 1);
    return buffer;
}

std::wstring PercentText(int percent) { return std::to_wstring(percent) + L"%"; }

void ShowMessage(HWND window, const std::wstring& text, UINT icon) {
    MessageBoxW(window, text.c_str(), kLauncherCaption, MB_OK | icon);
}

std::wstring ResolutionText(int width, int height) {
    return std::to_wstring(width) + L" x " + std::to_wstring(height);
}

// Height in the high and width in the low 16 bits, as the list items carry them.
LPARAM PackResolution(int width, int height) {
    const DWORD low = static_cast<DWORD>(width) & 0xFFFFu;
    const DWORD high = static_cast<DWORD>(height) & 0xFFFFu;
    return static_cast<LPARAM>(high * 65536u + low);
}

int AddResolutionItem(HWND list, const std::wstring& text, int width, int height) {
    const LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index < 0) return -1;
    SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(index), PackResolution(width, height));
    return static_cast<int>(index);
}

void ShowVolume(HWND window, int sliderId, HWND label, int volume) {
    const int percent = VolumeToPercent(volume);
    // The slider clamps to its range; the label shows the number as computed.
    SendMessageW(GetDlgItem(window, sliderId), TBM_SETPOS, TRUE, percent);
    SetWindowTextW(label, PercentText(percent).c_str());
}

int SliderPosition(HWND window, int sliderId) {
    return static_cast<int>(SendMessageW(GetDlgItem(window, sliderId), TBM_GETPOS, 0, 0));
}

int VolumeToSave(HWND window, int sliderId, int shownPosition, int shownVolume) {
    const int position = SliderPosition(window, sliderId);
    return position == shownPosition ? shownVolume : PercentToVolume(position);
}

// What the list items can carry: 16 bits each for width and height.
bool FitsResolutionItem(int value) { return value >= 0 && value <= 0xFFFF; }

void ShowSliderPercent(HWND window, HWND slider) {
    if (!slider) return;
    HWND label = nullptr;
    if (slider == GetDlgItem(window, IDC_MUSIC_VOLUME)) label = SettingsWindow().musicPercent;
    if (slider == GetDlgItem(window, IDC_EFFECT_VOLUME)) label = SettingsWindow().effectPercent;
    if (!label) return;
    SetWindowTextW(label, PercentText(static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0))).c_str());
}

// Only the face name is taken from the chooser; size, style and effects are not used.
void ChooseFontName(HWND window) {
    HWND nameEdit = GetDlgItem(window, IDC_FONT_NAME);
    LOGFONTW font = {};
    font.lfCharSet = DEFAULT_CHARSET;
    GetWindowTextW(nameEdit, font.lfFaceName, kFontNameMaxChars + 1);
    CHOOSEFONTW choice = {};
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = window;
    choice.lpLogFont = &font;
    choice.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST;
    if (!ChooseFontW(&choice)) return;
    SetWindowTextW(nameEdit, font.lfFaceName);
}

// False with the message and its icon filled in. The folder's install lock is held only
// while writing, never while a box is up, so an install waits at most for the writes.
bool WriteSettingsFiles(const FontSettings& font, const GameOptions& options, std::wstring& message, UINT& icon) {
    const SettingsWindowState& state = SettingsWindow();
    icon = MB_ICONWARNING;
    InstallFolderLock lock;
    if (!LockInstallFolder(state.installFolder, lock, 0)) {
        message = kInstallRunningMessage;
        return false;
    }
    // Said before anything is written, so the font file is not saved without the options.
    for (const std::wstring* file : {&state.fontPath, &state.optionsPath}) {
        if (IsReadOnlyFile(*file)) {
            message = *file + kReadOnlyMessageEnd;
            return false;
        }
    }
    icon = MB_ICONERROR;
    if (!SaveFontSettings(state.fontPath, font)) {
        const DWORD code = GetLastError();  // before anything else can change it
        message = L"Could not save SarnFont.ini. Windows error: " + std::to_wstring(code);
        return false;
    }
    if (!SaveGameOptionsTo(state.optionsPath, options)) {
        message = L"Could not save the game display and audio settings. Make sure Sarnhold is installed.";
        return false;
    }
    return true;
}

void ResetSettingsForm(HWND window) {
    ShowFontSettings(window, FontSettings());
    UpdateFontControlsEnabled(window);
    ShowGameOptions(window, GameOptions());
}

bool OnSettingsCommand(HWND window, int id, int notification) {
    switch (id) {
        case IDC_RESOLUTION:
            if (notification == CBN_SELCHANGE) SettingsWindow().keepShownResolution = false;
            return false;
        case IDCANCEL:  // Escape: close without saving
            DestroyWindow(window);
            return true;
        case IDC_FONT_ENABLED:
            UpdateFontControlsEnabled(window);
            return true;
        case IDC_CHOOSE_FONT:
            ChooseFontName(window);
            return true;
        case IDC_RESET_DEFAULTS:
            ResetSettingsForm(window);
            return true;
        case IDOK:  // Enter, unless a button has the focus
        case IDC_SAVE_SETTINGS:
            // A successful save says nothing and closes the form.
            if (SaveSettingsFromWindow(window)) DestroyWindow(window);
            return true;
        default:
            return false;
    }
}

}  // namespace

SettingsWindowState& SettingsWindow() {
    static SettingsWindowState state;
    return state;
}

const std::vector<Resolution>& ResolutionChoices() {
    static const std::vector<Resolution> choices = {
        {800, 600},   {1024, 768},  {1280, 720},  {1280, 800},  {1366, 768},  {1440, 900},  {1600, 900},
        {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1440}, {2560, 1600}, {3440, 1440}, {3840, 2160},
    };
    return choices;
}

void CreateSettingsControls(HWND window) {
    const UiResources& ui = Ui();
    SettingsWindowState& state = SettingsWindow();
    for (const ControlRow& row : kControls) {
        HWND control = CreateWindowExW(row.exStyle, row.className, row.text, WS_CHILD | WS_VISIBLE | row.style,
                                       row.x, row.y, row.width, row.height, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), ui.instance, nullptr);
        // A control that could not be created stays out; messages to it do nothing.
        if (!control) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(ui.bodyFont), FALSE);
        if (row.remember) state.*row.remember = control;
    }
    for (const ControlRow& row : kControls) {
        if (row.textLimit > 0) SendDlgItemMessageW(window, row.id, EM_SETLIMITTEXT, row.textLimit, 0);
    }
    for (int sliderId : {IDC_MUSIC_VOLUME, IDC_EFFECT_VOLUME}) {
        SendDlgItemMessageW(window, sliderId, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
    }
    state.fontPath = ui.FontSettingsPath;
    state.installFolder = std::filesystem::path(state.fontPath).parent_path().wstring();
    state.optionsPath = GameOptionsPathIn(state.installFolder);
    ShowFontSettings(window, LoadFontSettings(state.fontPath));
    UpdateFontControlsEnabled(window);
    ShowGameOptions(window, LoadGameOptionsFrom(state.optionsPath));
}

void ShowFontSettings(HWND window, const FontSettings& settings) {
    SetChecked(window, IDC_FONT_ENABLED, settings.Enabled);
    SetDlgItemTextW(window, IDC_FONT_NAME, settings.FontName.c_str());
    SetChecked(window, IDC_FORCE_FONT, settings.ReplaceAllFontNames);
    SetControlNumber(GetDlgItem(window, IDC_SCALE_PERCENT), settings.ScalePercent);
    SetControlNumber(GetDlgItem(window, IDC_WEIGHT_OFFSET), settings.WeightOffset);
    SetControlNumber(GetDlgItem(window, IDC_MIN_ORIGINAL_HEIGHT), settings.MinOriginalAbsHeight);
    SetControlNumber(GetDlgItem(window, IDC_MAX_ORIGINAL_HEIGHT), settings.MaxOriginalAbsHeight);
    SetControlNumber(GetDlgItem(window, IDC_MAX_RESULT_HEIGHT), settings.MaxResultAbsHeight);
    SetChecked(window, IDC_BLOCK_EXTERNAL_URLS, settings.BlockExternalUrls);
}

void SetControlNumber(HWND control, int value) { SetWindowTextW(control, std::to_wstring(value).c_str()); }

void UpdateFontControlsEnabled(HWND window) {
    const BOOL enabled = IsChecked(window, IDC_FONT_ENABLED) ? TRUE : FALSE;
    for (int id : kFontControlIds) EnableWindow(GetDlgItem(window, id), enabled);
}

void ShowGameOptions(HWND window, const GameOptions& options) {
    SettingsWindowState& state = SettingsWindow();
    state.shown = options;
    state.keepShownResolution = !FitsResolutionItem(options.Width) || !FitsResolutionItem(options.Height);
    const Resolution current = state.keepShownResolution ? Resolution{GameOptions().Width, GameOptions().Height}
                                                         : Resolution{options.Width, options.Height};
    HWND list = GetDlgItem(window, IDC_RESOLUTION);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    int selected = -1;
    for (const Resolution& choice : ResolutionChoices()) {
        const int index = AddResolutionItem(list, ResolutionText(choice.Width, choice.Height), choice.Width,
                                            choice.Height);
        if (choice.Width == current.Width && choice.Height == current.Height) selected = index;
    }
    if (selected < 0) {
        selected = AddResolutionItem(list, ResolutionText(current.Width, current.Height) + L" (current)",
                                     current.Width, current.Height);
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);

    ShowVolume(window, IDC_MUSIC_VOLUME, state.musicPercent, options.MusicVolume);
    ShowVolume(window, IDC_EFFECT_VOLUME, state.effectPercent, options.EffectVolume);
    state.musicPosition = SliderPosition(window, IDC_MUSIC_VOLUME);
    state.effectPosition = SliderPosition(window, IDC_EFFECT_VOLUME);
    SetChecked(window, IDC_FULLSCREEN, options.Fullscreen);
    SetChecked(window, IDC_MUSIC_ON, options.MusicOn);
    SetChecked(window, IDC_SOUND_ON, options.SoundOn);
}

bool SaveSettingsFromWindow(HWND window) {
    FontSettings font;
    font.Enabled = IsChecked(window, IDC_FONT_ENABLED);
    font.FontName = ReadShortText(window, IDC_FONT_NAME);
    font.ReplaceAllFontNames = IsChecked(window, IDC_FORCE_FONT);
    font.BlockExternalUrls = IsChecked(window, IDC_BLOCK_EXTERNAL_URLS);
    FontNumberTexts numbers;
    numbers.ScalePercent = ReadShortText(window, IDC_SCALE_PERCENT);
    numbers.WeightOffset = ReadShortText(window, IDC_WEIGHT_OFFSET);
    numbers.MinOriginalAbsHeight = ReadShortText(window, IDC_MIN_ORIGINAL_HEIGHT);
    numbers.MaxOriginalAbsHeight = ReadShortText(window, IDC_MAX_ORIGINAL_HEIGHT);
    numbers.MaxResultAbsHeight = ReadShortText(window, IDC_MAX_RESULT_HEIGHT);
    std::wstring message;
    if (!ValidateFontSettings(font, numbers, message)) {
        ShowMessage(window, message, MB_ICONWARNING);
        return false;
    }

    HWND list = GetDlgItem(window, IDC_RESOLUTION);
    const LRESULT selection = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selection == CB_ERR) {
        ShowMessage(window, L"Choose a game resolution.", MB_ICONWARNING);
        return false;
    }
    const SettingsWindowState& state = SettingsWindow();
    const DWORD packed = static_cast<DWORD>(SendMessageW(list, CB_GETITEMDATA, static_cast<WPARAM>(selection), 0));
    GameOptions options;
    options.Width = state.keepShownResolution ? state.shown.Width : static_cast<int>(packed % 65536u);
    options.Height = state.keepShownResolution ? state.shown.Height : static_cast<int>(packed / 65536u);
    options.MusicVolume = VolumeToSave(window, IDC_MUSIC_VOLUME, state.musicPosition, state.shown.MusicVolume);
    options.EffectVolume = VolumeToSave(window, IDC_EFFECT_VOLUME, state.effectPosition, state.shown.EffectVolume);
    options.Fullscreen = IsChecked(window, IDC_FULLSCREEN);
    options.MusicOn = IsChecked(window, IDC_MUSIC_ON);
    options.SoundOn = IsChecked(window, IDC_SOUND_ON);

    UINT icon = MB_ICONERROR;
    if (!WriteSettingsFiles(font, options, message, icon)) {
        ShowMessage(window, message, icon);
        return false;
    }
    return true;
}

LRESULT CALLBACK SettingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateSettingsControls(window);
            LayOutForDpi(window, WindowDpi(window));
            return 0;
        case WM_DPICHANGED:
            LayOutForDpi(window, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_COMMAND:
            if (OnSettingsCommand(window, LOWORD(wParam), HIWORD(wParam))) return 0;
            break;
        case WM_HSCROLL:
            ShowSliderPercent(window, reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(Ui().backgroundBrush);
        case WM_DESTROY:
            SettingsWindow() = SettingsWindowState();
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
