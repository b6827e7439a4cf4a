#pragma once
#include <string>

// Editing single integers in the game's Lua options text, and the volume scales.
// Pure text work: no platform calls, so tests call it directly.
//
// A line counts when it reads: table, `["`, key, `"]`, optional white space, `=`,
// optional white space, an optional minus sign and one or more digits. White space
// is the six ASCII characters space, tab, line feed, vertical tab, form feed and
// carriage return, so line breaks count. The first such place in the text wins,
// wherever it starts. Table and key are matched literally and with letter case.
//
// The matcher is written out by hand rather than as a regular expression: the
// standard library's engine recurses once per character of a white-space run and
// overflows the stack on a long run, which a damaged or hostile file can hold. This
// one walks the text once and needs no stack.

// The integer of the first matching line, or fallback when no line matches or its
// number does not fit a signed 32-bit integer. Digits stop at the first non-digit,
// so "1920.5" reads as 1920.
int ReadLuaInteger(const std::string& text, const std::string& table, const std::string& key, int fallback);

// Replaces exactly the number (its minus sign and digits) of the first matching line
// with value in decimal and returns true; everything around it stays byte for byte.
// Returns false and leaves text unchanged when no line matches. The old number may be
// of any length, including one too large for 32 bits.
bool ReplaceLuaInteger(std::string& text, const std::string& table, const std::string& key, int value);

// The game stores volumes as 0 to 127; the form shows 0 to 100 percent. Both round
// to the nearest step and accept any int without overflow.
int VolumeToPercent(int volume);
int PercentToVolume(int percent);
