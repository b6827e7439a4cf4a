// crash-writer: runs the launcher's own file writes so that a test can kill it hard.
//
//   crash-writer session <ready-event> <token-file-a> <token-file-b>
//       saves the session with token a, then b, then a, ... until killed
//   crash-writer options <ready-event> <options-a> <options-b>
//       saves the game options (install folder from launcher.ini) as a, then b, ...
//       until killed; options are "width,height,fullscreen,music,sound,music-volume,effect-volume"
//   crash-writer download <url> <target> <size> <sha256>
//       one verified download; exit code 0 on success, 1 on failure
//
// The ready event (a named event the test created) is set once the first write is
// complete, so the test knows every later kill lands between two whole states. A
// write that fails ends the loop with exit code 1; bad arguments give exit code 2.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "net/download.h"
#include "settings/game_options.h"
#include "state/session.h"

namespace {

constexpr int kUsage = 2;

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ParseOptions(const std::wstring& text, GameOptions& options) {
    std::vector<int> values;
    std::wstringstream in(text);
    std::wstring item;
    while (std::getline(in, item, L',')) {
        wchar_t* end = nullptr;
        const long value = std::wcstol(item.c_str(), &end, 10);
        if (item.empty() || *end != L'\0') return false;
        values.push_back(static_cast<int>(value));
    }
    if (values.size() != 7) return false;
    options.Width = values[0];
    options.Height = values[1];
    options.Fullscreen = values[2] != 0;
    options.MusicOn = values[3] != 0;
    options.SoundOn = values[4] != 0;
    options.MusicVolume = values[5];
    options.EffectVolume = values[6];
    return true;
}

void SignalReady(const wchar_t* name) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (!event) return;
    SetEvent(event);
    CloseHandle(event);
}

// Alternates between the two writes forever; returns only when one fails.
template <typename Write>
int AlternateUntilKilled(const wchar_t* readyEvent, Write write) {
    for (unsigned long long round = 0;; ++round) {
        if (!write(round % 2 == 0)) {
            std::fprintf(stderr, "write %llu failed\n", round);
            return 1;
        }
        if (round == 0) SignalReady(readyEvent);
    }
}

int RunSession(int argc, wchar_t** argv) {
    if (argc != 5) return kUsage;
    std::string first;
    std::string second;
    if (!ReadWholeFile(argv[3], first) || !ReadWholeFile(argv[4], second)) return kUsage;
    return AlternateUntilKilled(argv[2], [&](bool useFirst) { return SaveSession(useFirst ? first : second); });
}

int RunOptions(int argc, wchar_t** argv) {
    if (argc != 5) return kUsage;
    GameOptions first;
    GameOptions second;
    if (!ParseOptions(argv[3], first) || !ParseOptions(argv[4], second)) return kUsage;
    return AlternateUntilKilled(argv[2], [&](bool useFirst) { return SaveGameOptions(useFirst ? first : second); });
}

int RunDownload(int argc, wchar_t** argv) {
    if (argc != 6) return kUsage;
    wchar_t* end = nullptr;
    const unsigned long long size = std::wcstoull(argv[4], &end, 10);
    if (*end != L'\0') return kUsage;
    std::wstring message;
    const ProgressCallback noProgress;
    if (DownloadVerifiedFile(argv[2], argv[3], size, argv[5], message, noProgress)) return 0;
    std::fprintf(stderr, "%ls\n", message.c_str());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return kUsage;
    const std::wstring mode = argv[1];
    if (mode == L"session") return RunSession(argc, argv);
    if (mode == L"options") return RunOptions(argc, argv);
    if (mode == L"download") return RunDownload(argc, argv);
    return kUsage;
}
