// Stand-in for the system's PowerShell, installed as "powershell.exe" in the test Wine
// prefix (Wine's own accepts anything and exits 0, which would hide every install fault).
//
// It accepts exactly the command the launcher sends:
//   -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command "Expand-Archive
//   -LiteralPath '<zip>' -DestinationPath '<folder>' -Force"
// where each path is a single-quoted literal with its quote marks doubled. As in PowerShell,
// the typographic single quotes U+2018 to U+201B are quote marks too, so a path quoted
// without doubling them ends its literal early and the command is refused.
//
// It unpacks stored and deflated entries into the destination (creating folders, replacing
// files), refuses entries that would land outside it, and exits 0 on success, 1 on any
// failure. Each call's command line is appended to "hollowmere-powershell-calls.txt" in
// the temporary folder, so tests can check what the launcher sent.
#include <windows.h>
#include <shellapi.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsQuoteMark(wchar_t c) { return c == L'\'' || (c >= 0x2018 && c <= 0x201B); }

// Reads a single-quoted literal at text[at]; on success at points past its closing quote.
bool ReadLiteral(const std::wstring& text, size_t& at, std::wstring& value) {
    if (at >= text.size() || !IsQuoteMark(text[at])) return false;
    ++at;
    value.clear();
    while (at < text.size()) {
        const wchar_t c = text[at];
        if (IsQuoteMark(c)) {
            if (at + 1 < text.size() && IsQuoteMark(text[at + 1])) {
                value.push_back(text[at + 1]);
                at += 2;
                continue;
            }
            ++at;
            return true;
        }
        value.push_back(c);
        ++at;
    }
    return false;
}

bool Expect(const std::wstring& text, size_t& at, const std::wstring& piece) {
    if (text.compare(at, piece.size(), piece) != 0) return false;
    at += piece.size();
    return true;
}

bool ParseCommand(const std::wstring& command, std::wstring& archive, std::wstring& destination) {
    size_t at = 0;
    return Expect(command, at, L"Expand-Archive -LiteralPath ") && ReadLiteral(command, at, archive) &&
           Expect(command, at, L" -DestinationPath ") && ReadLiteral(command, at, destination) &&
           Expect(command, at, L" -Force") && at == command.size();
}

std::wstring Utf8ToWideText(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], length);
    return wide;
}

std::uint32_t Read16(const std::string& data, size_t at) {
    return static_cast<unsigned char>(data[at]) | (static_cast<unsigned char>(data[at + 1]) << 8);
}

std::uint32_t Read32(const std::string& data, size_t at) { return Read16(data, at) | (Read16(data, at + 2) << 16); }

// True when the entry name is a relative path that stays inside the destination.
bool IsSafeEntryName(const std::wstring& name) {
    if (name.empty() || name[0] == L'/' || name[0] == L'\\') return false;
    if (name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"/\\", start);
        if (end == std::wstring::npos) end = name.size();
        if (name.compare(start, end - start, L"..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

bool Inflate(const char* compressed, size_t compressedSize, std::string& out, size_t expectedSize) {
    out.assign(expectedSize, '\0');
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed));
    stream.avail_in = static_cast<uInt>(compressedSize);
    stream.next_out = reinterpret_cast<Bytef*>(out.empty() ? nullptr : &out[0]);
    stream.avail_out = static_cast<uInt>(expectedSize);
    const int result = inflate(&stream, Z_FINISH);
    const bool complete = result == Z_STREAM_END && stream.total_out == expectedSize;
    inflateEnd(&stream);
    return complete;
}

bool ExtractArchive(const std::wstring& archivePath, const std::wstring& destination) {
    std::ifstream in(fs::path(archivePath), std::ios::binary);
    if (!in) return false;
    const std::string zip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (zip.size() < 22) return false;

    // The end-of-central-directory record sits within the last 64 KiB + 22 bytes.
    size_t end = std::string::npos;
    for (size_t at = zip.size() - 22 + 1; at-- > 0 && zip.size() - at <= 65557;) {
        if (Read32(zip, at) == 0x06054b50) {
            end = at;
            break;
        }
    }
    if (end == std::string::npos) return false;
    std::uint64_t entries = Read16(zip, end + 10);
    size_t central = Read32(zip, end + 16);
    // A zip64 archive gives its count and directory offset in the zip64 end record, which
    // its locator (right before the end record) points at; packages past 4 GiB need it.
    if ((entries == 0xFFFF || central == 0xFFFFFFFF) && end >= 20 && Read32(zip, end - 20) == 0x07064b50) {
        const size_t record = Read32(zip, end - 12);
        if (record + 56 > zip.size() || Read32(zip, record) != 0x06064b50) return false;
        entries = Read32(zip, record + 32);
        central = Read32(zip, record + 48);
    }

    std::error_code error;
    fs::create_directories(fs::path(destination), error);
    if (!fs::is_directory(fs::path(destination), error)) return false;

    for (std::uint64_t i = 0; i < entries; ++i) {
        if (central + 46 > zip.size() || Read32(zip, central) != 0x02014b50) return false;
        const std::uint32_t method = Read16(zip, central + 10);
        const std::uint32_t crc = Read32(zip, central + 16);
        const std::uint32_t compressedSize = Read32(zip, central + 20);
        const std::uint32_t size = Read32(zip, central + 24);
        const std::uint32_t nameLength = Read16(zip, central + 28);
        const std::uint32_t extraLength = Read16(zip, central + 30);
        const std::uint32_t commentLength = Read16(zip, central + 32);
        const std::uint32_t local = Read32(zip, central + 42);
        if (central + 46 + nameLength > zip.size()) return false;
        const std::wstring name = Utf8ToWideText(zip.substr(central + 46, nameLength));
        central += 46 + nameLength + extraLength + commentLength;

        if (!IsSafeEntryName(name)) return false;
        const fs::path target = fs::path(destination) / fs::path(name).make_preferred();
        if (name.back() == L'/' || name.back() == L'\\') {
            fs::create_directories(target, error);
            if (error) return false;
            continue;
        }
        if (local + 30 > zip.size() || Read32(zip, local) != 0x04034b50) return false;
        const size_t data = local + 30 + Read16(zip, local + 26) + Read16(zip, local + 28);
        if (data + compressedSize > zip.size()) return false;

        std::string content;
        if (method == 0) {
            if (compressedSize != size) return false;
            content = zip.substr(data, size);
        } else if (method == 8) {
            if (!Inflate(zip.data() + data, compressedSize, content, size)) return false;
        } else {
            return false;
        }
        const uLong actualCrc =
            crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
        if (actualCrc != crc) return false;

        fs::create_directories(target.parent_path(), error);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) return false;
    }
    return true;
}

void RecordCall(const wchar_t* commandLine) {
    wchar_t temp[MAX_PATH] = {};
    if (!GetTempPathW(MAX_PATH, temp)) return;
    std::ofstream log(fs::path(temp) / L"hollowmere-powershell-calls.txt", std::ios::binary | std::ios::app);
    const std::wstring line = std::wstring(commandLine) + L"\n";
    const int length = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], length, nullptr, nullptr);
    log << bytes;
}

}  // namespace

int wmain() {
    const wchar_t* commandLine = GetCommandLineW();
    RecordCall(commandLine);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine, &count);
    if (!argv) return 1;
    const wchar_t* expected[] = {L"-NoProfile", L"-NonInteractive", L"-ExecutionPolicy", L"Bypass", L"-Command"};
    bool formOk = count >= 7;
    for (int i = 0; formOk && i < 5; ++i) formOk = std::wcscmp(argv[i + 1], expected[i]) == 0;
    // Like PowerShell, everything after -Command is one command text.
    std::wstring command;
    for (int i = 6; formOk && i < count; ++i) {
        if (i > 6) command += L' ';
        command += argv[i];
    }
    LocalFree(argv);
    std::wstring archive;
    std::wstring destination;
    if (!formOk || !ParseCommand(command, archive, destination)) return 1;
    return ExtractArchive(archive, destination) ? 0 : 1;
}
