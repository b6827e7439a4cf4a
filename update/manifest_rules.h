#pragma once
#include <cstdint>
#include <string>

#include "update/update_manifest.h"

// The rules of the update manifest that need no network: reading its document and
// comparing launcher versions. No platform calls, so tests call them directly.

// Parses the text of "client_size" as a decimal byte count: white space before it,
// an optional plus sign, then digits; whatever follows the digits is ignored. False
// without a digit, for a minus sign and above the largest 64-bit value; size is then
// untouched.
bool ParseClientSize(const std::string& text, std::uint64_t& size);

// Reads the seven string fields of the manifest document. True only when all are
// present, the size parses, and client_version and client_url are not empty. On
// false, message holds the sentence for the player and manifest is untouched.
// (Defined in manifest_document.cpp: its text conversion is the platform's.)
bool ReadUpdateManifest(const std::string& document, UpdateManifest& manifest, std::wstring& message);

// Reads "major.minor.patch" as three signed numbers, each after optional white space
// and sign; anything after the third is ignored. Numbers beyond the 32-bit range are
// held at its ends. False when fewer than three numbers are read.
bool ParseLauncherVersion(const std::wstring& text, int (&version)[3]);
