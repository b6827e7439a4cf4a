// "manifest": the update manifest made from the files, so that nothing in it is typed by
// hand but the client version and the two addresses.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "file_digest.h"
#include "net/json_fields.h"
#include "net/service_interface.h"
#include "net/text_conversion.h"
#include "install/package_contents.h"
#include "update/pe_version.h"
#include "release_commands.h"
#include "update/manifest_rules.h"

namespace {

constexpr int kFieldCount = 7;
const char* const kKeys[kFieldCount] = {"client_version",   "client_url",   "client_size", "client_sha256",
                                        "launcher_version", "launcher_url", "launcher_sha256"};

int Refuse(const std::string& problem) {
    std::fprintf(stderr, "hollowmere-release: %s; no manifest written.\n", problem.c_str());
    return 1;
}

// A JSON string that both of the launcher's lookups read back unchanged: only \" and \\
// as escapes. Neither lookup decodes \n or \u, so a value with a control character, or
// bytes that are not UTF-8 (the launcher would read empty text), cannot be written.
bool QuoteJsonValue(const char* key, const std::string& value, std::string& quoted, std::string& problem) {
    if (!value.empty() && Utf8ToWide(value).empty()) {
        problem = std::string(key) + " is not UTF-8 text";
        return false;
    }
    quoted = "\"";
    for (char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            problem = std::string(key) + " holds a control character, which the launcher cannot read";
            return false;
        }
        if (c == '"' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return true;
}

bool IsWebAddress(const std::string& url) {
    return url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
}

}  // namespace

int RunManifestCommand(const ManifestArguments& arguments) {
    if (arguments.clientVersion.empty()) return Refuse("the client version is empty");
    if (!IsWebAddress(arguments.clientUrl) || !IsWebAddress(arguments.launcherUrl))
        return Refuse("the package and launcher addresses must begin with https:// or http://");

    std::string clientDigest, problem;
    std::uint64_t clientSize = 0;
    if (!DigestLocalFile(arguments.client, clientDigest, clientSize, problem)) return Refuse(problem);
    // The launcher takes a size of 0 to mean "unknown" and would check no length.
    if (clientSize == 0) return Refuse("the client package " + arguments.client + " is empty");
    // What every player's install will unpack, from the zip's central directory.
    const std::string package = "the client package " + arguments.client;
    std::vector<ZipDirectoryEntry> entries;
    if (!ReadPackageFileDirectory(arguments.client, entries, problem)) return Refuse(package + " is " + problem);
    if (entries.empty()) return Refuse(package + " is a zip archive with no entries");
    const PackageContents contents = DescribePackage(entries);
    if (!contents.hasClient) Refuse(package + " has " + kNoClientText);
    if (contents.unsafeCount) Refuse(package + ": " + DescribeUnsafeEntry(contents));
    if (!contents.hasClient || contents.unsafeCount) return 1;

    std::ifstream launcherFile(arguments.launcher, std::ios::binary);
    if (!launcherFile) return Refuse("cannot open " + arguments.launcher);
    const std::string launcher((std::istreambuf_iterator<char>(launcherFile)), std::istreambuf_iterator<char>());
    std::string launcherVersion;
    if (!ReadExecutableVersion(launcher, launcherVersion, problem))
        return Refuse(arguments.launcher + " is " + problem);

    const std::string values[kFieldCount] = {arguments.clientVersion, arguments.clientUrl,   std::to_string(clientSize),
                                             clientDigest,            launcherVersion,       arguments.launcherUrl,
                                             Sha256OfBytes(launcher)};
    // Compact, so that the launcher's strict lookup (the one its sign-in replies get)
    // would read every field as its lenient manifest lookup does.
    std::string document = "{";
    for (int i = 0; i < kFieldCount; ++i) {
        std::string quoted;
        if (!QuoteJsonValue(kKeys[i], values[i], quoted, problem)) return Refuse(problem);
        document += std::string(i ? "," : "") + "\"" + kKeys[i] + "\":" + quoted;
    }
    document += "}\n";

    // Read it back with the launcher's own rules before anyone can publish it.
    UpdateManifest manifest;
    std::wstring message;
    if (document.size() > kManifestBodyLimit) return Refuse("the manifest would be larger than the launcher reads");
    if (!ReadUpdateManifest(document, manifest, message) || manifest.client_size != clientSize)
        return Refuse("the launcher would not read this manifest back as written");
    for (int i = 0; i < kFieldCount; ++i) {
        std::string lenient, strict;
        if (!ExtractJsonString(document, kKeys[i], lenient) || !ExtractJsonStringStrict(document, kKeys[i], strict) ||
            lenient != values[i] || strict != values[i])
            return Refuse(std::string("the launcher would not read ") + kKeys[i] + " back as written");
    }

    // Written beside the target first, so a failed write leaves any older manifest whole.
    const std::string temporary = arguments.output + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << document;
    out.close();
    if (!out || std::rename(temporary.c_str(), arguments.output.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Refuse("cannot write " + arguments.output + ": " + std::strerror(errno));
    }
    std::printf("Wrote %s (%zu bytes):\n", arguments.output.c_str(), document.size());
    for (int i = 0; i < kFieldCount; ++i) std::printf("  %-17s %s\n", kKeys[i], values[i].c_str());
    std::printf("launcher_version is the version resource of %s.\n", arguments.launcher.c_str());
    std::printf("%s holds %llu files, %llu bytes unpacked.\n", arguments.client.c_str(),
                static_cast<unsigned long long>(contents.files), static_cast<unsigned long long>(contents.bytes));
    return 0;
}
