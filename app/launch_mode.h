#pragma once
#include <string>
#include <vector>

enum class LaunchMode { Main, Settings, SelfUpdate, SelfTest };

// Chooses the mode from the split command line (argument 0 is the program path).
// Keywords ignore the case of ASCII letters; counts must match exactly where fixed.
LaunchMode ChooseLaunchMode(const std::vector<std::wstring>& arguments);

// Compares two texts ignoring the case of the ASCII letters only.
bool EqualsIgnoringAsciiCase(const std::wstring& left, const std::wstring& right);
