#include "support/clean_world.h"

#include <windows.h>

#include "support/client_package.h"
#include "support/service_control.h"

namespace {

void Clean() {
    ResetLauncherDataFolder();
    ForgetGameRegistryKeys();
    ClearPowerShellCalls();
    for (const wchar_t* name : {L"HollowmereLauncher.update.exe", L"HollowmereLauncher.update.exe.download"})
        DeleteFileW(TemporaryFile(name).c_str());
}

}  // namespace

std::wstring TemporaryFile(const std::wstring& name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return folder + name;
}

void CleanWorld::SetUp() { Clean(); }

void CleanWorld::TearDown() { Clean(); }

void ServiceWorld::SetUp() {
    CleanWorld::SetUp();
    ASSERT_TRUE(ResetService()) << "the stand-in service does not answer";
}

void ServiceWorld::TearDown() {
    ResetService();
    CleanWorld::TearDown();
}
