#pragma once
#include <functional>

// A progress report: a status text (valid only during the call; the receiver copies
// it) and a percent from 0 to 100, or -1 when no percentage is known. It may be
// empty, so every caller tests it before calling, and nobody stores it.
using ProgressCallback = std::function<void(const wchar_t* text, int percent)>;
