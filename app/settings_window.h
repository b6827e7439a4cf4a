#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "settings/font_settings.h"
#include "settings/game_options.h"

// Control ids of the settings form.
constexpr int IDC_FONT_ENABLED = 1001;
constexpr int IDC_FONT_NAME = 1002;
constexpr int IDC_CHOOSE_FONT = 1003;
constexpr int IDC_FORCE_FONT = 1004;
constexpr int IDC_SCALE_PERCENT = 1005;
constexpr int IDC_WEIGHT_OFFSET = 1006;
constexpr int IDC_MIN_ORIGINAL_HEIGHT = 1007;
constexpr int IDC_MAX_ORIGINAL_HEIGHT = 1008;
constexpr int IDC_MAX_RESULT_HEIGHT = 1009;
constexpr int IDC_BLOCK_EXTERNAL_URLS = 1010;
constexpr int IDC_RESOLUTION = 1011;
constexpr int IDC_FULLSCREEN = 1012;
constexpr int IDC_MUSIC_ON = 1013;
constexpr int IDC_SOUND_ON = 1014;
constexpr int IDC_MUSIC_VOLUME = 1015;
constexpr int IDC_EFFECT_VOLUME = 1016;
constexpr int IDC_RESET_DEFAULTS = 1017;
constexpr int IDC_SAVE_SETTINGS = 1018;

// The two percentage labels have no id; the form remembers their handles. UI thread only.
struct SettingsWindowState {
    HWND musicPercent = nullptr;
    HWND effectPercent = nullptr;
    // Fixed when the form opens, so a folder chosen meanwhile in the main window is not
    // written into: both files and the install lock belong to this one folder.
    std::wstring installFolder;
    std::wstring fontPath;
    std::wstring optionsPath;
    // The game options as shown. A slider still at the position it was shown at saves
    // the shown volume, not the one its percentage converts back to (which differs for
    // about one volume in five); a resolution the list cannot carry (outside 0 to 65535)
    // is shown as the default and saved as loaded until the player picks one.
    GameOptions shown;
    int musicPosition = 0;
    int effectPosition = 0;
    bool keepShownResolution = false;
};

SettingsWindowState& SettingsWindow();

struct Resolution {
    int Width;
    int Height;
};

// The resolutions the form offers, in the order of its list.
const std::vector<Resolution>& ResolutionChoices();

// The settings form of "--settings" mode.
LRESULT CALLBACK SettingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Builds every control in tab order and fills the form from both files.
void CreateSettingsControls(HWND window);
void ShowFontSettings(HWND window, const FontSettings& settings);
void SetControlNumber(HWND control, int value);
// Enables the font controls (name to maximum result height) exactly when 1001 is checked.
void UpdateFontControlsEnabled(HWND window);
void ShowGameOptions(HWND window, const GameOptions& options);
// Validates and saves the font file, then the game options; on false the player has
// seen a message box saying why and the window stays as it was. Nothing is written while
// an install or repair holds the folder, or when either file is read-only.
bool SaveSettingsFromWindow(HWND window);
