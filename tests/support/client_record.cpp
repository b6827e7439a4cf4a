#include "support/client_record.h"

#include "net/text_conversion.h"
#include "support/test_files.h"

bool ReadClientStartRecord(const std::wstring& clientFolder, ClientStartRecord& record) {
    const std::wstring path = clientFolder + L"\\" + kClientStartRecordName;
    if (!FileExists(path)) return false;
    const std::string text = ReadFileBytes(path);
    ClientStartRecord read;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals);
        const std::wstring value = Utf8ToWide(line.substr(equals + 1));
        if (name == "arguments") read.arguments = value;
        if (name == "working_folder") read.workingFolder = value;
        if (name == "command_line") read.commandLine = value;
    }
    record = read;
    return true;
}
