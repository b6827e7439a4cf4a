#include "state/session.h"

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "state/file_replace.h"
#include "state/launcher_config.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kSessionFileName = L"session.bin";
constexpr const wchar_t* kProtectionDescription = L"Hollowmere Sarnhold device sign-in";

// Owns the output buffer of the data-protection calls; it may hold the plain token,
// so it is wiped before it goes back to the system.
struct ProtectedBlob {
    DATA_BLOB value = {};
    ProtectedBlob() = default;
    ProtectedBlob(const ProtectedBlob&) = delete;
    ProtectedBlob& operator=(const ProtectedBlob&) = delete;
    ~ProtectedBlob() {
        if (!value.pbData) return;
        SecureZeroMemory(value.pbData, value.cbData);
        LocalFree(value.pbData);
    }
};

DATA_BLOB BlobOf(const std::string& bytes) {
    DATA_BLOB blob;
    blob.cbData = static_cast<DWORD>(bytes.size());
    blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
    return blob;
}

}  // namespace

std::wstring SessionFilePath() {
    const std::wstring folder = LauncherDataFolder();
    if (folder.empty()) return std::wstring();
    return (fs::path(folder) / kSessionFileName).wstring();
}

bool SaveSession(const std::string& token) {
    // Bound to the current user (no machine scope) and never allowed to prompt.
    DATA_BLOB plain = BlobOf(token);
    ProtectedBlob protectedToken;
    if (!CryptProtectData(&plain, kProtectionDescription, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &protectedToken.value)) {
        return false;
    }
    const std::string bytes(reinterpret_cast<const char*>(protectedToken.value.pbData), protectedToken.value.cbData);
    // Through a temporary file, so a full disk or a crash keeps the player's old sign-in.
    return ReplaceFileContents(SessionFilePath(), bytes);
}

bool LoadSession(std::string& token) {
    const std::wstring path = SessionFilePath();
    if (path.empty()) return false;
    std::ifstream in(fs::path(path), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return false;

    DATA_BLOB sealed = BlobOf(bytes);
    ProtectedBlob plain;
    if (!CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain.value)) {
        return false;
    }
    token.assign(reinterpret_cast<const char*>(plain.value.pbData), plain.value.cbData);
    return !token.empty();
}

void SignOut() {
    const std::wstring path = SessionFilePath();
    std::error_code ignored;
    if (!path.empty()) fs::remove(fs::path(path), ignored);
    // An empty value, not a deleted key: the account simply has no name any more.
    WriteAccountName(L"");
}
