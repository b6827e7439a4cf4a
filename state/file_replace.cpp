#include "state/file_replace.h"

#include <windows.h>

namespace {

// Owns a file handle; Close reports whether the system accepted the close.
struct FileHandle {
    HANDLE value = INVALID_HANDLE_VALUE;
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    bool Close() {
        if (value == INVALID_HANDLE_VALUE) return true;
        const bool closed = CloseHandle(value) != FALSE;
        value = INVALID_HANDLE_VALUE;
        return closed;
    }
};

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// Writes and flushes the whole temporary file; a close the system refuses counts as a
// failed write, since buffered data may then never have reached the disk.
bool WriteTemporaryFile(const std::wstring& path, const std::string& bytes) {
    FileHandle file;
    file.value = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.value == INVALID_HANDLE_VALUE) return false;
    const bool written = WriteAll(file.value, bytes) && FlushFileBuffers(file.value) != FALSE;
    const bool closed = file.Close();
    return written && closed;
}

}  // namespace

std::wstring ReplacementFilePath(const std::wstring& path) { return path + L".tmp"; }

bool ReplaceFileContents(const std::wstring& path, const std::string& bytes, ReplaceCheck beforeReplace) {
    if (path.empty()) return false;
    const std::wstring temporary = ReplacementFilePath(path);
    if (WriteTemporaryFile(temporary, bytes) && (!beforeReplace || beforeReplace(temporary)) &&
        MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileW(temporary.c_str());
    return false;
}

bool IsReadOnlyFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}
