#pragma once
#include <string>

// Replaces the file at path with bytes so that a failed or interrupted write never
// leaves it damaged: the bytes go to path + ".tmp" first, are flushed to disk and the
// temporary file only then takes the place of the old one. Returns false when any
// step failed; the old file is then exactly as it was and no temporary file is left.
bool ReplaceFileContents(const std::wstring& path, const std::string& bytes);

// The temporary file ReplaceFileContents writes beside path.
std::wstring ReplacementFilePath(const std::wstring& path);
