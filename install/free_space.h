#pragma once
#include <cstdint>
#include <string>

// Checks, before an install downloads anything, that the package fits beside package
// (with its partial file, if an interrupted download of this release left one; packageDigest
// tells the release) and the unpacked files in
// installFolder, which must exist (CheckInstallRoom says how much each drive needs).
// A drive whose free space cannot be read counts as roomy: the install then goes on,
// and a full disk shows as the download's or the unpacking's own failure.
//
// On false, message names the drive that is short, the room needed and the room free;
// on true, message is untouched.
// With packageInPlace the package is whole already and only the unpacked files need room.
bool CheckRoomForInstall(const std::wstring& package, const std::wstring& installFolder, std::uint64_t packageSize,
                         const std::wstring& packageDigest, bool packageInPlace, std::wstring& message);
