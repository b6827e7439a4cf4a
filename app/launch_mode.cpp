#include "app/launch_mode.h"

namespace {

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

bool EqualsIgnoringAsciiCase(const std::wstring& left, const std::wstring& right) {
    if (left.size() != right.size()) return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (LowerAscii(left[i]) != LowerAscii(right[i])) return false;
    }
    return true;
}

LaunchMode ChooseLaunchMode(const std::vector<std::wstring>& arguments) {
    if (arguments.size() < 2) return LaunchMode::Main;
    const std::wstring& keyword = arguments[1];
    if (EqualsIgnoringAsciiCase(keyword, L"--settings")) return LaunchMode::Settings;
    if (EqualsIgnoringAsciiCase(keyword, L"--self-update") && arguments.size() == 4) return LaunchMode::SelfUpdate;
    if (EqualsIgnoringAsciiCase(keyword, L"--self-test") && arguments.size() == 3) return LaunchMode::SelfTest;
    return LaunchMode::Main;
}
