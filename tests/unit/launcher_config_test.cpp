#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "state/launcher_config.h"
#include "support/client_package.h"
#include "support/test_files.h"
#include "update/update_manifest.h"

namespace {

class LauncherConfig : public ::testing::Test {
protected:
    void SetUp() override { ResetLauncherDataFolder(); }
    void TearDown() override { ResetLauncherDataFolder(); }
};

TEST_F(LauncherConfig, DefaultsWithoutAFileAndEmptyValuesWhenPresent) {
    EXPECT_EQ(ReadInstallPath(), L"C:\\Games\\Hollowmere\\Sarnhold");
    EXPECT_EQ(ReadAccountName(), L"");
    ASSERT_TRUE(WriteInstallPath(L""));
    EXPECT_EQ(ReadInstallPath(), L"");  // present but empty is not missing
    // Text outside the ANSI code page survives: the file is Unicode from its first write.
    ASSERT_TRUE(WriteInstallPath(L"C:\\Games\\Zoë Ωmega 游戏"));
    ASSERT_TRUE(WriteAccountName(L"Ælfrida 游戏"));
    EXPECT_EQ(ReadInstallPath(), L"C:\\Games\\Zoë Ωmega 游戏");
    EXPECT_EQ(ReadAccountName(), L"Ælfrida 游戏");
    EXPECT_EQ(std::filesystem::path(LauncherIniPath()).filename(), L"launcher.ini");
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
        {L"C:\\Games\\Zoë Ωmega 游戏", L"C:\\Games\\Zoë Ωmega 游戏", nullptr},
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

TEST_F(LauncherConfig, AccountNameReadsAtMost127Characters) {
    const std::wstring longName(200, L'n');
    ASSERT_TRUE(WriteAccountName(longName));
    EXPECT_EQ(ReadAccountName(), std::wstring(127, L'n'));
    const std::wstring exact(127, L'x');
    ASSERT_TRUE(WriteAccountName(exact));
    EXPECT_EQ(ReadAccountName(), exact);
}

TEST_F(LauncherConfig, DeletedDataFolderIsRecreatedByTheNextWrite) {
    ASSERT_TRUE(WriteInstallPath(L"E:\\One"));
    std::error_code ignored;
    std::filesystem::remove_all(LauncherDataFolder(), ignored);
    // LauncherDataFolder itself re-creates it, so remove it again behind its back first.
    const std::wstring folder = std::filesystem::path(LauncherIniPath()).parent_path().wstring();
    std::filesystem::remove_all(folder, ignored);
    ASSERT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(WriteAccountName(L"again"));
    EXPECT_EQ(ReadAccountName(), L"again");
    EXPECT_EQ(ReadInstallPath(), L"C:\\Games\\Hollowmere\\Sarnhold");  // the old file went with the folder
}

class ClientCurrent : public ::testing::Test {
protected:
    TempFolder folder;
    UpdateManifest manifest;
    void SetUp() override {
        manifest.client_version = L"1.4.2";
        WriteFileBytes(folder / L"Sarnhold-Elderline.exe", "MZ");
    }
    bool WithMarker(const std::string& bytes) {
        WriteFileBytes(folder / L".hollowmere-version", bytes);
        return IsClientCurrent(folder.path, manifest);
    }
};

TEST_F(ClientCurrent, MarkerFirstLineMustEqualTheVersionExactly) {
    EXPECT_TRUE(WithMarker("1.4.2\r\n"));
    EXPECT_TRUE(WithMarker("1.4.2\n"));
    EXPECT_TRUE(WithMarker("1.4.2"));  // a last line without a line end is taken whole
    EXPECT_TRUE(WithMarker("1.4.2\r\nanything after\r\n"));
    EXPECT_FALSE(WithMarker("1.4.2 \r\n"));
    EXPECT_FALSE(WithMarker("\r\n1.4.2\r\n"));
    EXPECT_FALSE(WithMarker("\xEF\xBB\xBF" "1.4.2\r\n"));
    EXPECT_FALSE(WithMarker("1.4.3\r\n"));
    EXPECT_FALSE(WithMarker("1.4.2\r"));  // a CR that ends the file without LF stays part of the line
    EXPECT_FALSE(WithMarker(""));
}

TEST_F(ClientCurrent, NeedsTheExecutableAndTheMarkerAsRegularFiles) {
    EXPECT_FALSE(IsClientCurrent(folder.path, manifest));  // no marker
    std::filesystem::create_directory(folder / L".hollowmere-version");
    EXPECT_FALSE(IsClientCurrent(folder.path, manifest));
    std::filesystem::remove(folder / L".hollowmere-version");
    ASSERT_TRUE(WithMarker("1.4.2\r\n"));
    std::filesystem::remove(folder / L"Sarnhold-Elderline.exe");
    EXPECT_FALSE(IsClientCurrent(folder.path, manifest));
    std::filesystem::create_directory(folder / L"Sarnhold-Elderline.exe");
    EXPECT_FALSE(IsClientCurrent(folder.path, manifest));
    EXPECT_FALSE(IsClientCurrent(folder / L"missing", manifest));
}

}  // namespace
