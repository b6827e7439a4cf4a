#pragma once
// Identifiers shared by the resource script and the code.

// The game's default options text, used when the player has no options file yet.
#define IDR_DEFAULT_OPTIONS 101

#define HOLLOWMERE_VERSION_TEXT "2.0.4"
#define HOLLOWMERE_VERSION_COMMAS 2, 0, 4, 0
