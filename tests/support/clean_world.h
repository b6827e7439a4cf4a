#pragma once
#include <gtest/gtest.h>

#include <string>

#include "support/test_files.h"

// The world every test starts from and leaves behind, so no test depends on the one
// before it: no launcher data folder, no game registry keys, an empty PowerShell
// stand-in record, no self-update files in the temporary folder, and a fresh temporary
// folder of the test's own.
class CleanWorld : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TempFolder folder;
};

// The same with the stand-in service back at its start, for the groups that run with it.
class ServiceWorld : public CleanWorld {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A file of the temporary folder (GetTempPathW), where the launcher keeps its own update.
std::wstring TemporaryFile(const std::wstring& name);
