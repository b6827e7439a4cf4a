// The Expand-Archive stand-in installed in the test prefix, started the way the launcher
// starts it: by name through the shell, hidden, waiting for its exit code.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <filesystem>

#include "install/powershell_quote.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

std::wstring Archive(const wchar_t* name) { return BuildPath(std::wstring(L"test-data/archives/") + name); }

DWORD RunPowerShell(const std::wstring& parameters) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = L"powershell.exe";
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) return 9999;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
}

std::wstring ExpandCommand(const std::wstring& quotedArchive, const std::wstring& quotedFolder) {
    return L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"Expand-Archive -LiteralPath " +
           quotedArchive + L" -DestinationPath " + quotedFolder + L" -Force\"";
}

DWORD Expand(const std::wstring& archive, const std::wstring& folder) {
    return RunPowerShell(ExpandCommand(QuotePowerShellLiteral(archive), QuotePowerShellLiteral(folder)));
}

TEST(ExpandArchiveStandIn, UnpacksStoredAndDeflatedEntriesIntoAQuotedFolder) {
    TempFolder temp;
    const std::wstring folder = temp / L"Tom's \u2019Games\u2019\\deep\\Sarnhold";
    ASSERT_TRUE(WriteFileBytes(folder + L"\\stored.txt", "old content that must be replaced"));
    EXPECT_EQ(Expand(Archive(L"good.zip"), folder), 0u);
    EXPECT_EQ(ReadFileBytes(folder + L"\\stored.txt"), "stored bytes\r\n");
    std::string deflated;
    for (int i = 0; i < 1000; ++i) deflated += "deflated ";
    EXPECT_EQ(ReadFileBytes(folder + L"\\sub\\deflated.txt"), deflated);
    EXPECT_TRUE(fs::is_directory(folder + L"\\empty-folder"));
    EXPECT_EQ(ReadFileBytes(folder + L"\\caf\u00e9 \u2019quote\u2019.txt"), "unicode name");
}

TEST(ExpandArchiveStandIn, RefusesBadArchivesAndEscapingEntries) {
    TempFolder temp;
    const std::wstring folder = temp / L"dest";
    EXPECT_EQ(Expand(Archive(L"escape.zip"), folder), 1u);
    EXPECT_FALSE(FileExists(temp / L"outside.txt"));
    EXPECT_EQ(Expand(Archive(L"absolute.zip"), folder), 1u);
    EXPECT_EQ(Expand(Archive(L"corrupt.zip"), folder), 1u);
    EXPECT_EQ(Expand(Archive(L"badcrc.zip"), folder), 1u);
    EXPECT_EQ(Expand(temp / L"missing.zip", folder), 1u);
}

TEST(ExpandArchiveStandIn, AcceptsOnlyTheLaunchersCommandForm) {
    TempFolder temp;
    const std::wstring folder = temp / L"Tom\u2019s";
    // An undoubled typographic quote ends the literal early, as PowerShell would read it.
    EXPECT_EQ(RunPowerShell(ExpandCommand(QuotePowerShellLiteral(Archive(L"good.zip")), L"'" + folder + L"'")), 1u);
    EXPECT_FALSE(FileExists(folder));
    const std::wstring good = QuotePowerShellLiteral(Archive(L"good.zip"));
    EXPECT_EQ(RunPowerShell(L"-Command \"Expand-Archive -LiteralPath " + good + L" -DestinationPath '" + folder +
                            L"' -Force\""),
              1u);
    EXPECT_EQ(RunPowerShell(L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"Expand-Archive "
                            L"-LiteralPath " + good + L" -DestinationPath " + QuotePowerShellLiteral(folder) + L"\""),
              1u);
    EXPECT_FALSE(FileExists(folder));
}

}  // namespace
