#pragma once
#include <string>

// Whether this launcher may start a downloaded launcher, judged by their Authenticode
// signatures. A launcher whose own file is signed starts only a file that Windows'
// signature check accepts and whose signer holds the same public key as its own
// signer: a changed manifest alone then cannot run anyone else's program. An unsigned
// launcher (a developer's build) has no key to compare and leaves the decision to the
// digest and version checks.
enum class HandOverVerdict { Allowed, NotVerified };
HandOverVerdict JudgeDownloadedLauncher(const std::wstring& ownPath, const std::wstring& downloadedPath);
