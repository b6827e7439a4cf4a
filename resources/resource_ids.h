#pragma once
// Identifiers shared by the resource script and the code.

// The application icon (16, 32, 48 and 256 pixels; drawn by make_icon.sh). The lowest
// icon id, so it is also the icon Windows shows for the executable.
#define IDI_LAUNCHER 1

// The game's default options text, used when the player has no options file yet.
#define IDR_DEFAULT_OPTIONS 101

// The launcher's version. Only the test build of a "newer launcher" overrides it.
#ifndef HOLLOWMERE_VERSION_MAJOR
#define HOLLOWMERE_VERSION_MAJOR 2
#define HOLLOWMERE_VERSION_MINOR 0
#define HOLLOWMERE_VERSION_PATCH 4
#endif
#define HOLLOWMERE_STRINGIFY2(x) #x
#define HOLLOWMERE_STRINGIFY(x) HOLLOWMERE_STRINGIFY2(x)
#define HOLLOWMERE_VERSION_TEXT                                                              \
    HOLLOWMERE_STRINGIFY(HOLLOWMERE_VERSION_MAJOR) "." HOLLOWMERE_STRINGIFY(HOLLOWMERE_VERSION_MINOR) "." \
    HOLLOWMERE_STRINGIFY(HOLLOWMERE_VERSION_PATCH)
#define HOLLOWMERE_VERSION_COMMAS HOLLOWMERE_VERSION_MAJOR, HOLLOWMERE_VERSION_MINOR, HOLLOWMERE_VERSION_PATCH, 0
