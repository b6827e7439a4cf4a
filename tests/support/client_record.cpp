#include "support/client_record.h"

#include "net/text_conversion.h"
#include "support/test_files.h"

bool ReadClientStartRecord(const std::wstring& clientFolder, ClientStartRecord& record) {
    const std::wstring path = clientFolder + L"\\" + kClientStartRecordName;
    if (!FileExists(path)) return false;
    const std::string text = "\n" + ReadFileBytes(path) + "\n";
    // The value of the line "name=value"; empty when there is none.
    auto value = [&text](const std::string& name) {
        const std::size_t line = text.find("\n" + name + "="), from = line + name.size() + 2;
        return line == std::string::npos ? std::wstring() : Utf8ToWide(text.substr(from, text.find('\n', from) - from));
    };
    record = {value("arguments"), value("working_folder"), value("command_line")};
    return true;
}
