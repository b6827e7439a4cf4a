#include "app/ui_resources.h"

#include "play/client_interface.h"
#include "state/launcher_config.h"

namespace {

HFONT CreateUiFont(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
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
    ui.bodyFont = CreateUiFont(-13, FW_NORMAL);
    ui.titleFont = CreateUiFont(-20, FW_SEMIBOLD);
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
