#include "install/free_space.h"

#include <windows.h>

#include <filesystem>
#include <vector>

#include "install/disk_room.h"
#include "net/download.h"

namespace fs = std::filesystem;

namespace {

// The root of the volume that holds path and what the caller may still write there;
// false when either cannot be read.
bool ReadDriveSpace(const fs::path& path, DriveSpace& drive) {
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    if (error) return false;
    // The root is never longer than the path itself (plus a closing backslash).
    std::vector<wchar_t> root(full.native().size() + 2, L'\0');
    if (!GetVolumePathNameW(full.c_str(), root.data(), static_cast<DWORD>(root.size()))) return false;
    ULARGE_INTEGER available = {};
    // The space this user may use, which a disk quota can make less than the disk's.
    if (!GetDiskFreeSpaceExW(root.data(), &available, nullptr, nullptr)) return false;
    drive.root = root.data();
    drive.freeBytes = available.QuadPart;
    return true;
}

}  // namespace

bool CheckRoomForInstall(const std::wstring& package, const std::wstring& installFolder, std::uint64_t packageSize,
                         const std::wstring& packageDigest, bool packageInPlace, std::wstring& message) {
    DriveSpace dataDrive;
    DriveSpace installDrive;
    const fs::path packagePath(package);
    const fs::path dataFolder = packagePath.has_parent_path() ? packagePath.parent_path() : fs::path(L".");
    if (!ReadDriveSpace(dataFolder, dataDrive) || !ReadDriveSpace(fs::path(installFolder), installDrive)) return true;
    return CheckInstallRoom(dataDrive, installDrive, packageSize, packageInPlace ? packageSize : ResumableBytes(package, packageSize, packageDigest),
                            message);
}
