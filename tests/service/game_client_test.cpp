#include <gtest/gtest.h>

#include <windows.h>

#include "support/client_record.h"
#include "support/test_files.h"

namespace {

// The stand-in client records how it was started, which the launch tests rely on.
TEST(StandInClient, RecordsArgumentsAndWorkingFolder) {
    TempFolder install;
    TempFolder elsewhere;
    const std::wstring exe = install / L"Sarnhold-Elderline.exe";
    ASSERT_TRUE(CopyFileW(HOLLOWMERE_TEST_CLIENT_EXE, exe.c_str(), FALSE));

    SetEnvironmentVariableW(L"HOLLOWMERE_CLIENT_CLOSE_MS", L"100");
    std::wstring commandLine = L"\"" + exe + L"\" -t:ticket-1 Wanderer Two -1sar1";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               elsewhere.path.c_str(), &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);

    ClientStartRecord record;
    ASSERT_TRUE(ReadClientStartRecord(install.path, record));
    EXPECT_EQ(record.arguments, L"-t:ticket-1 Wanderer Two -1sar1");
    EXPECT_EQ(record.commandLine, commandLine);
    EXPECT_EQ(lstrcmpiW(record.workingFolder.c_str(), elsewhere.path.c_str()), 0) << record.workingFolder;
}

}  // namespace
