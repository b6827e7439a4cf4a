#include "support/client_record.h"

#include <sstream>

#include "net/text_conversion.h"
#include "support/test_files.h"

bool ReadClientStartRecord(const std::wstring& clientFolder, ClientStartRecord& record) {
    const std::wstring path = clientFolder + L"\\" + kClientStartRecordName;
    if (!FileExists(path)) return false;
    std::istringstream lines(ReadFileBytes(path));
    ClientStartRecord read;
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(0, line.find('='));
        for (auto [key, field] : {std::pair{"arguments", &ClientStartRecord::arguments},
                                  std::pair{"working_folder", &ClientStartRecord::workingFolder},
                                  std::pair{"command_line", &ClientStartRecord::commandLine}}) {
            if (name == key && name.size() < line.size()) read.*field = Utf8ToWide(line.substr(name.size() + 1));
        }
    }
    record = read;
    return true;
}
