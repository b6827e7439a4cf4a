#pragma once
#include <cstdint>
#include <string>

// Whether an install fits on the disks before anything is downloaded. Pure logic; the
// free space comes from free_space.h.

struct DriveSpace {
    std::wstring root;  // the volume's root, e.g. "D:\" (compared without regard to case)
    std::uint64_t freeBytes = 0;
};

// The data folder's drive takes the package, less the partialBytes of an interrupted
// download that will be resumed; the install folder's drive takes the package's size
// again for the unpacked files. A drive that holds both folders needs both. A partial
// file longer than the package is discarded by the download, so it saves nothing.
//
// True when everything fits. On false, message names the first drive that is short,
// how much it needs and how much is free; on true, message is untouched.
bool CheckInstallRoom(const DriveSpace& dataDrive, const DriveSpace& installDrive, std::uint64_t packageSize,
                      std::uint64_t partialBytes, std::wstring& message);
