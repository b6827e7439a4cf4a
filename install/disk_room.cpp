#include "install/disk_room.h"

#include <cwctype>
#include <limits>

#include "net/transfer_figures.h"

namespace {

bool SameRoot(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    }
    return true;
}

// "D:\" reads as "D:"; a mounted folder or a network share keeps its full root.
std::wstring DriveName(const std::wstring& root) {
    if (root.size() == 3 && root[1] == L':' && root[2] == L'\\') return root.substr(0, 2);
    return root;
}

std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

bool Fits(const DriveSpace& drive, std::uint64_t needed, std::wstring& message) {
    if (needed <= drive.freeBytes) return true;
    // Needed rounds up and free rounds down, so the two figures never read alike.
    message = L"There is not enough free space on drive " + DriveName(drive.root) +
              L" for this install. It needs " + FormatByteSize(needed, true) + L" there, and " +
              FormatByteSize(drive.freeBytes, false) + L" is free. Free some space and try again.";
    return false;
}

}  // namespace

bool CheckInstallRoom(const DriveSpace& dataDrive, const DriveSpace& installDrive, std::uint64_t packageSize,
                      std::uint64_t partialBytes, std::wstring& message) {
    const std::uint64_t download = partialBytes <= packageSize ? packageSize - partialBytes : packageSize;
    if (SameRoot(dataDrive.root, installDrive.root)) {
        return Fits(dataDrive, SaturatingSum(download, packageSize), message);
    }
    return Fits(dataDrive, download, message) && Fits(installDrive, packageSize, message);
}
