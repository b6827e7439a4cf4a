#pragma once
#include <string>

// Reads the file version of a Windows executable from its version resource (the fixed
// part of VS_VERSIONINFO), as "major.minor.patch": the numbers the launcher compares.
// Works on the file's bytes alone, so the launcher reads a downloaded launcher without
// loading it, and the release tool runs it on the build machine. On false, problem
// says what the bytes lack and version is untouched.
bool ReadExecutableVersion(const std::string& image, std::string& version, std::string& problem);
