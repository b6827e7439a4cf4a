#pragma once
#include <string>

// Replaces the file at path with bytes so that a failed or interrupted write never
// leaves it damaged: the bytes go to path + ".tmp" first, are flushed to disk and the
// temporary file only then takes the place of the old one. Returns false when any
// step failed; the old file is then exactly as it was and no temporary file is left.
// A process killed half-way leaves the old file whole (and at most a stale temporary
// file, which the next call overwrites).
//
// beforeReplace, when not null, is called with the temporary file's path once that
// file is written and flushed, just before it takes the old file's place; returning
// false counts as a failed step. Only tests pass one.
using ReplaceCheck = bool (*)(const std::wstring& temporary);
bool ReplaceFileContents(const std::wstring& path, const std::string& bytes, ReplaceCheck beforeReplace = nullptr);

// The temporary file ReplaceFileContents writes beside path.
std::wstring ReplacementFilePath(const std::wstring& path);

// True when path names an existing file (not a folder) that carries the read-only
// attribute. Such a file is never replaced by the launcher's settings saves.
bool IsReadOnlyFile(const std::wstring& path);
