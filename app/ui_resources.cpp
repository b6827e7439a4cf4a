#include "app/ui_resources.h"

#include "play/client_interface.h"
#include "state/launcher_config.h"

namespace {

constexpr int kBodyFontHeight = -13;
constexpr int kTitleFontHeight = -20;

// height is the 96-DPI height.
HFONT CreateUiFont(int height, int weight, UINT dpi) {
    return CreateFontW(MulDiv(height, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

}  // namespace

UiResources& Ui() {
    static UiResources resources;
    return resources;
}

void CreateUiResources(HINSTANCE instance) {
    UiResources& ui = Ui();
    ui.instance = instance;
    ui.fontDpi = USER_DEFAULT_SCREEN_DPI;
    ui.bodyFont = CreateUiFont(kBodyFontHeight, FW_NORMAL, ui.fontDpi);
    ui.titleFont = CreateUiFont(kTitleFontHeight, FW_SEMIBOLD, ui.fontDpi);
    ui.backgroundBrush = CreateSolidBrush(kBackgroundColour);
    // Plain concatenation: the stored folder decides, once per process.
    ui.FontSettingsPath = ReadInstallPath() + L"\\" + kFontSettingsFileName;
}

void DestroyUiResources() {
    UiResources& ui = Ui();
    if (ui.titleFont) DeleteObject(ui.titleFont);
    if (ui.bodyFont) DeleteObject(ui.bodyFont);
    if (ui.backgroundBrush) DeleteObject(ui.backgroundBrush);
    ui.titleFont = nullptr;
    ui.bodyFont = nullptr;
    ui.backgroundBrush = nullptr;
}

UiFonts SetUiFontsForDpi(UINT dpi) {
    UiResources& ui = Ui();
    if (dpi == ui.fontDpi) return UiFonts();
    const UiFonts old = {ui.bodyFont, ui.titleFont};
    ui.fontDpi = dpi;
    ui.bodyFont = CreateUiFont(kBodyFontHeight, FW_NORMAL, dpi);
    ui.titleFont = CreateUiFont(kTitleFontHeight, FW_SEMIBOLD, dpi);
    return old;
}
