// The launcher's own state: launcher.ini, the install folder, the saved sign-in and
// the crash-safe replace every settings file goes through.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>

#include "state/file_replace.h"
#include "state/launcher_config.h"
#include "state/session.h"
#include "support/clean_world.h"
#include "support/client_package.h"

namespace fs = std::filesystem;

namespace {

using LauncherConfig = CleanWorld;

TEST_F(LauncherConfig, ANewFileIsUnicodeFromItsFirstWrite) {
    EXPECT_EQ(ReadInstallPath(), L"C:\\Games\\Hollowmere\\Sarnhold");  // no file yet
    ASSERT_TRUE(WriteInstallPath(L"C:\\Games\\Zoë Ωmega 游戏"));
    ASSERT_TRUE(WriteAccountName(L"Ælfrida 游戏"));
    EXPECT_EQ(ReadFileBytes(LauncherIniPath()).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ReadInstallPath(), L"C:\\Games\\Zoë Ωmega 游戏");
    EXPECT_EQ(ReadAccountName(), L"Ælfrida 游戏");
}

TEST_F(LauncherConfig, AnAnsiFileKeepsItsValuesAndBecomesUnicodeAtTheNextWrite) {
    // "Zoë" and "Ælfrida" in the ANSI code page (1252) of the test prefix.
    ASSERT_TRUE(WriteFileBytes(LauncherIniPath(), "[Launcher]\r\nInstallPath=D:\\Zo\xEB\r\nAccountName=\xC6lfrida\r\n"));
    EXPECT_EQ(ReadInstallPath(), L"D:\\Zoë");
    ASSERT_TRUE(WriteAccountName(L"Zoë Ωmega 游戏"));
    EXPECT_EQ(ReadFileBytes(LauncherIniPath()).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ReadInstallPath(), L"D:\\Zoë");
    EXPECT_EQ(ReadAccountName(), L"Zoë Ωmega 游戏");
}

TEST(InstallFolderText, BecomesTheOneRealFolderOrIsRefused) {
    const std::wstring notFull = L"Enter the full path of the installation folder, for example C:\\Games\\Hollowmere\\Sarnhold.";
    const std::wstring dotsOnly =
        L"A folder name in the installation folder consists only of dots or spaces. Choose another folder.";
    const struct {
        const wchar_t* text;
        const wchar_t* folder;  // null: refused with message
        const std::wstring* message;
    } rows[] = {
        {L"  C:/Games/./old/../Zoë Ωmega 游戏. . \\", L"C:\\Games\\Zoë Ωmega 游戏", nullptr},
        {L"C:\\Games \\Sarnhold.", L"C:\\Games\\Sarnhold", nullptr},
        {L"d:\\", L"d:\\", nullptr},
        {L"\\\\server\\share\\Zoë ", L"\\\\server\\share\\Zoë", nullptr},
        {L"Games\\Zoë", nullptr, &notFull},
        {L"\\Games\\Zoë", nullptr, &notFull},
        {L"C:Games", nullptr, &notFull},
        {L"C:\\Games\\. . .", nullptr, &dotsOnly},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(ToUtf8(row.text));
        std::wstring folder = L"untouched", message;
        EXPECT_EQ(MakeInstallFolder(row.text, folder, message), row.folder != nullptr);
        EXPECT_EQ(folder, row.folder ? row.folder : L"untouched");
        EXPECT_EQ(message, row.message ? *row.message : L"");
    }
}

using SessionTest = CleanWorld;

TEST_F(SessionTest, OnlyTheSystemsProtectedBlobIsStored) {
    const std::string token("dev-\x01\x00\xff-token", 14);
    ASSERT_TRUE(SaveSession(token));
    const std::string onDisk = ReadFileBytes(SessionFilePath());
    EXPECT_EQ(onDisk.find("dev-"), std::string::npos);  // never the plain token
    // The system's own format, so the blob unprotects as it stands.
    DATA_BLOB sealed = {static_cast<DWORD>(onDisk.size()), reinterpret_cast<BYTE*>(const_cast<char*>(onDisk.data()))};
    DATA_BLOB plain = {};
    ASSERT_TRUE(CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, 0, &plain));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain.pbData), plain.cbData), token);
    LocalFree(plain.pbData);
    std::string loaded;
    ASSERT_TRUE(LoadSession(loaded));
    EXPECT_EQ(loaded, token);
}

TEST_F(SessionTest, UnreadableFilesDoNotLoadAndStayInPlace) {
    for (const std::string& unreadable : {std::string(), std::string("not a protected blob")}) {
        ASSERT_TRUE(WriteFileBytes(SessionFilePath(), unreadable));
        std::string token = "unchanged";
        EXPECT_FALSE(LoadSession(token));
        EXPECT_EQ(token, "unchanged");
        EXPECT_EQ(ReadFileBytes(SessionFilePath()), unreadable);
    }
}

TEST_F(SessionTest, FailedWriteKeepsTheSavedSession) {
    ASSERT_TRUE(SaveSession("keep-me"));
    const std::string before = ReadFileBytes(SessionFilePath());
    // Something that cannot be written stands where the temporary file goes.
    ASSERT_TRUE(fs::create_directory(fs::path(ReplacementFilePath(SessionFilePath()))));
    EXPECT_FALSE(SaveSession("lost"));
    EXPECT_EQ(ReadFileBytes(SessionFilePath()), before);
    std::string token;
    ASSERT_TRUE(LoadSession(token));
    EXPECT_EQ(token, "keep-me");
}

std::string g_fileSeen, g_copySeen;
std::wstring g_target;

bool LookBeforeReplacing(const std::wstring& temporary) {
    g_fileSeen = ReadFileBytes(g_target);
    g_copySeen = ReadFileBytes(temporary);
    return false;
}

// Until the last step the old file is whole and the new bytes lie beside it, so a crash
// at any moment leaves one of the two.
TEST_F(SessionTest, ReplaceFileContentsNeverWritesOverTheFile) {
    g_target = folder / L"state.bin";
    ASSERT_TRUE(ReplaceFileContents(g_target, "first"));
    EXPECT_FALSE(ReplaceFileContents(g_target, "second", LookBeforeReplacing));
    EXPECT_EQ(g_fileSeen, "first");
    EXPECT_EQ(g_copySeen, "second");
    EXPECT_EQ(ReadFileBytes(g_target), "first");
    EXPECT_FALSE(FileExists(ReplacementFilePath(g_target)));
}

}  // namespace
