#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>

#include "state/file_replace.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

// A blob sealed for the same user but with entropy the launcher never passes.
std::string ProtectWithEntropy(const std::string& token) {
    DATA_BLOB plain = {static_cast<DWORD>(token.size()), reinterpret_cast<BYTE*>(const_cast<char*>(token.data()))};
    char pepper[] = "other-protection";
    DATA_BLOB entropy = {sizeof(pepper) - 1, reinterpret_cast<BYTE*>(pepper)};
    DATA_BLOB sealed = {};
    if (!CryptProtectData(&plain, L"other", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed)) {
        return std::string();
    }
    std::string bytes(reinterpret_cast<const char*>(sealed.pbData), sealed.cbData);
    LocalFree(sealed.pbData);
    return bytes;
}

std::wstring IniValue(const wchar_t* key, const wchar_t* fallback) {
    wchar_t buffer[256] = {};
    GetPrivateProfileStringW(L"Launcher", key, fallback, buffer, 256, LauncherIniPath().c_str());
    return buffer;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLauncherDataFolder(); }
    void TearDown() override { ResetLauncherDataFolder(); }
};

TEST_F(SessionTest, RoundTripKeepsBytesAndStoresOnlyTheProtectedBlob) {
    const std::string token("dev-\x01\x00\xff-token", 14);
    ASSERT_TRUE(SaveSession(token));
    EXPECT_EQ(SessionFilePath(), (fs::path(LauncherDataFolder()) / L"session.bin").wstring());

    const std::string onDisk = ReadFileBytes(SessionFilePath());
    EXPECT_EQ(onDisk.find("dev-"), std::string::npos);  // never the plain token
    // The system's own format only: the blob unprotects as it stands, with our description.
    DATA_BLOB sealed = {static_cast<DWORD>(onDisk.size()), reinterpret_cast<BYTE*>(const_cast<char*>(onDisk.data()))};
    DATA_BLOB plain = {};
    LPWSTR description = nullptr;
    ASSERT_TRUE(CryptUnprotectData(&sealed, &description, nullptr, nullptr, nullptr, 0, &plain));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain.pbData), plain.cbData), token);
    EXPECT_STREQ(description, L"Hollowmere Sarnhold device sign-in");
    LocalFree(plain.pbData);
    LocalFree(description);

    std::string loaded = "old";
    ASSERT_TRUE(LoadSession(loaded));
    EXPECT_EQ(loaded, token);

    // A second save replaces the first and leaves no temporary file behind.
    ASSERT_TRUE(SaveSession("second"));
    ASSERT_TRUE(LoadSession(loaded));
    EXPECT_EQ(loaded, "second");
    EXPECT_FALSE(FileExists(ReplacementFilePath(SessionFilePath())));
}

TEST_F(SessionTest, MissingEmptyAndForeignFilesDoNotLoadAndStayInPlace) {
    std::string token = "unchanged";
    EXPECT_FALSE(LoadSession(token));  // no file
    EXPECT_EQ(token, "unchanged");

    const std::string foreign = ProtectWithEntropy("someone-else");
    ASSERT_FALSE(foreign.empty());
    for (const std::string& unreadable : {std::string(), std::string("not a protected blob at all"), foreign}) {
        ASSERT_TRUE(WriteFileBytes(SessionFilePath(), unreadable));
        EXPECT_FALSE(LoadSession(token));
        EXPECT_EQ(token, "unchanged");
        EXPECT_EQ(ReadFileBytes(SessionFilePath()), unreadable);
    }

    // The next good save replaces what could not be read.
    ASSERT_TRUE(SaveSession("fresh"));
    EXPECT_TRUE(LoadSession(token));
    EXPECT_EQ(token, "fresh");
}

TEST_F(SessionTest, EmptyTokenIsSavedButDoesNotLoad) {
    ASSERT_TRUE(SaveSession(""));
    EXPECT_FALSE(ReadFileBytes(SessionFilePath()).empty());  // a real protected blob
    std::string token = "before";
    EXPECT_FALSE(LoadSession(token));
    EXPECT_EQ(token, "");  // the file held an empty token
}

TEST_F(SessionTest, SignOutWithoutFileEmptiesAccountNameAndKeepsKey) {
    ASSERT_TRUE(WriteAccountName(L"Wren"));
    SignOut();
    EXPECT_EQ(ReadAccountName(), L"");
    EXPECT_EQ(IniValue(L"AccountName", L"<missing>"), L"");  // present, with no value

    ASSERT_TRUE(SaveSession("token"));
    ASSERT_TRUE(WriteAccountName(L"Wren"));
    SignOut();
    EXPECT_FALSE(FileExists(SessionFilePath()));
    EXPECT_EQ(IniValue(L"AccountName", L"<missing>"), L"");
    std::string token;
    EXPECT_FALSE(LoadSession(token));
}

TEST_F(SessionTest, FailedWriteKeepsTheSavedSession) {
    ASSERT_TRUE(SaveSession("keep-me"));
    const std::string before = ReadFileBytes(SessionFilePath());

    // Something that cannot be written stands where the temporary file goes.
    const std::wstring temporary = ReplacementFilePath(SessionFilePath());
    fs::create_directory(fs::path(temporary));
    EXPECT_FALSE(SaveSession("lost"));
    EXPECT_EQ(ReadFileBytes(SessionFilePath()), before);
    std::string token;
    ASSERT_TRUE(LoadSession(token));
    EXPECT_EQ(token, "keep-me");
    fs::remove(fs::path(temporary));

    EXPECT_TRUE(SaveSession("now-it-works"));
    ASSERT_TRUE(LoadSession(token));
    EXPECT_EQ(token, "now-it-works");
}

TEST(ReplaceFileContents, WritesWholeFilesAndFailsWithoutDamage) {
    TempFolder folder;
    const std::wstring target = folder / L"state.bin";
    ASSERT_TRUE(ReplaceFileContents(target, "first"));
    EXPECT_EQ(ReadFileBytes(target), "first");
    ASSERT_TRUE(ReplaceFileContents(target, ""));
    EXPECT_EQ(ReadFileBytes(target), "");
    EXPECT_TRUE(FileExists(target));

    // A missing folder: nothing is created anywhere.
    const std::wstring missing = folder / L"missing\\state.bin";
    EXPECT_FALSE(ReplaceFileContents(missing, "x"));
    EXPECT_FALSE(FileExists(missing));
    EXPECT_FALSE(FileExists(ReplacementFilePath(missing)));

    // The final move fails (a folder holds the name): the temporary file is cleaned up.
    const std::wstring occupied = folder / L"occupied";
    fs::create_directory(fs::path(occupied));
    EXPECT_FALSE(ReplaceFileContents(occupied, "x"));
    EXPECT_TRUE(fs::is_directory(fs::path(occupied)));
    EXPECT_FALSE(FileExists(ReplacementFilePath(occupied)));

    EXPECT_FALSE(ReplaceFileContents(L"", "x"));
}

}  // namespace
