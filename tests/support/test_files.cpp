#include "support/test_files.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "net/download.h"
#include "play/client_interface.h"
#include "state/launcher_config.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    path = (fs::path(base) / (L"hollowmere-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter++)))
               .wstring();
    std::error_code ignored;
    fs::remove_all(path, ignored);
    fs::create_directories(path, ignored);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::wstring TempFolder::operator/(const std::wstring& name) const { return (fs::path(path) / name).wstring(); }

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

bool FileExists(const std::wstring& path) {
    std::error_code ignored;
    return fs::exists(fs::path(path), ignored);
}

void ResetLauncherDataFolder() {
    const std::wstring folder = LauncherDataFolder();
    std::error_code ignored;
    if (folder.empty()) return;
    // A read-only file left by a failed test would stay and spoil the next one.
    for (fs::recursive_directory_iterator it(folder, ignored), end; it != end; it.increment(ignored))
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(folder, ignored);
}

std::wstring BuildPath(const std::wstring& relative) {
    return (fs::path(HOLLOWMERE_TEST_BUILD_DIR) / relative).wstring();
}

std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string DefaultOptionsText() {
    return ReadFileBytes(std::wstring(HOLLOWMERE_TEST_SOURCE_DIR) + L"/resources/default_options.lua");
}

void ForgetGameRegistryKeys() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kGameRegistryKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kGameSetupRegistryKey);
}

long long RegistryDword(const wchar_t* key, const wchar_t* name) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS) return -1;
    return data;
}
