// Reading the manifest document into its record. Kept apart from the other manifest
// rules because the texts go through Utf8ToWide, which needs the platform; the rest
// builds anywhere (the native fuzzing build uses it).
#include "net/json_fields.h"
#include "net/text_conversion.h"
#include "update/manifest_rules.h"

namespace {

constexpr const wchar_t* kManifestInvalidMessage = L"The Hollowmere update manifest is invalid.";
constexpr const wchar_t* kClientSizeInvalidMessage = L"The client download size is invalid.";

}  // namespace

bool ReadUpdateManifest(const std::string& document, UpdateManifest& manifest, std::wstring& message) {
    static const char* const kKeys[] = {"client_version",   "client_url",   "client_size",    "client_sha256",
                                        "launcher_version", "launcher_url", "launcher_sha256"};
    std::string values[7];
    for (int i = 0; i < 7; ++i) {
        if (!ExtractJsonString(document, kKeys[i], values[i])) {
            message = kManifestInvalidMessage;
            return false;
        }
    }
    UpdateManifest read;
    if (!ParseClientSize(values[2], read.client_size)) {
        message = kClientSizeInvalidMessage;
        return false;
    }
    read.client_version = Utf8ToWide(values[0]);
    read.client_url = Utf8ToWide(values[1]);
    read.client_sha256 = Utf8ToWide(values[3]);
    read.launcher_version = Utf8ToWide(values[4]);
    read.launcher_url = Utf8ToWide(values[5]);
    read.launcher_sha256 = Utf8ToWide(values[6]);
    // Without a version and a package there is nothing to install: a failure like any
    // other, with its own sentence and the earlier record kept.
    if (read.client_version.empty() || read.client_url.empty()) {
        message = kManifestInvalidMessage;
        return false;
    }
    manifest = read;
    return true;
}
