#pragma once
#include <string>

// What the stand-in game client wrote about its last start: it leaves
// "client-start-record.txt" beside its own executable.
struct ClientStartRecord {
    std::wstring arguments;      // the command line after the program name
    std::wstring workingFolder;  // its current folder at start
    std::wstring commandLine;    // the whole command line
};

constexpr const wchar_t* kClientStartRecordName = L"client-start-record.txt";

// Reads the record left in clientFolder; false when there is none.
bool ReadClientStartRecord(const std::wstring& clientFolder, ClientStartRecord& record);
