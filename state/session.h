#pragma once
#include <string>

// The saved sign-in: the service's device token, protected for the current Windows
// user and kept in "session.bin" in the launcher's data folder. Nothing here shows a
// message; failures are false results.

// The data folder joined with "session.bin"; empty when the data folder is empty.
std::wstring SessionFilePath();

// Protects token and stores it. True when the new file is in place. On false the file
// that was there before (if any) is unchanged.
bool SaveSession(const std::string& token);

// True when the file unprotects to a non-empty token, which is then in token. On false
// token is unchanged, except that a file holding an empty token empties it. A file
// that does not unprotect is left where it is.
bool LoadSession(std::string& token);

// Deletes the session file (errors ignored) and stores an empty account name.
void SignOut();
