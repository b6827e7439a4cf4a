#pragma once

// The caption of every window and box the launcher shows, whichever part of it shows
// them: the window's title and the name players know the program by.
constexpr const wchar_t* kLauncherCaption = L"Hollowmere Launcher";
