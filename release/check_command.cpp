// "check": the live service read as every launcher reads it, one verdict per line.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "file_digest.h"
#include "http_fetch.h"
#include "native_text.h"
#include "install/package_contents.h"
#include "net/json_fields.h"
#include "net/text_conversion.h"
#include "update/pe_version.h"
#include "release_commands.h"
#include "update/manifest_rules.h"

namespace {

// How far before the package's end the resume check asks to start.
constexpr std::size_t kTailBytes = 65536;
// A launcher file is a few MiB; anything far larger is not one.
constexpr std::size_t kLauncherLimit = 256u << 20;

// What players see, as the launcher words it.
constexpr const char* kNoManifest = "every launcher shows \"Unable to check updates. Check your internet connection.\"";
constexpr const char* kInterrupted =
    "\"The client download was interrupted. Run the launcher again to resume.\"";
constexpr const char* kIncomplete = "\"The client download was interrupted or incomplete.\"";
constexpr const char* kSecurityCheck = "\"The downloaded client failed its security check.\"";
constexpr const char* kExtractFailed = "\"Windows could not extract the client package.\"";
constexpr const char* kMissingClient =
    "\"The client package is damaged: it does not contain \"Sarnhold-Elderline.exe\". ...\"";

struct Report {
    int failed = 0;
};

enum Verdict { kPass, kFail, kSkip };

void Say(Report& report, Verdict verdict, const char* check, const std::string& text) {
    static const char* const kWords[] = {"PASS", "FAIL", "SKIP"};
    if (verdict == kFail) ++report.failed;
    std::printf("%s  %s: %s\n", kWords[verdict], check, text.c_str());
    std::fflush(stdout);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Answer(const FetchReply& reply) {
    return reply.status ? "answered " + std::to_string(reply.status) : "failed (" + reply.error + ")";
}

// The body, kept up to limit bytes; past that the transfer is broken off and tooLarge set.
bool FetchWithin(const std::string& url, const FetchOptions& options, std::size_t limit, std::string& body,
                 FetchReply& reply, bool& tooLarge) {
    body.clear();
    tooLarge = false;
    return FetchUrl(url, options, [&](const char* data, std::size_t size) {
        body.append(data, size);
        return !(tooLarge = body.size() > limit);
    }, reply);
}

// One ranged request, the body kept; the launcher sends just "bytes=N-".
FetchReply FetchFrom(const std::string& url, const FetchOptions& base, long long offset, std::string& body) {
    FetchOptions options = base;
    options.rangeFrom = offset > 0 ? offset : -1;
    FetchReply reply;
    bool tooLarge = false;
    FetchWithin(url, options, 4 * kTailBytes, body, reply, tooLarge);
    return reply;
}

// count bytes from offset, asked for as exactly that range, as the launcher will ask for
// the parts of a package it keeps. On false, problem says what came instead.
bool FetchRange(const std::string& url, const FetchOptions& base, std::uint64_t offset, std::uint64_t count,
                std::string& body, std::string& problem) {
    FetchOptions options = base;
    options.rangeFrom = static_cast<long long>(offset);
    options.rangeTo = static_cast<long long>(offset + count - 1);
    FetchReply reply;
    bool tooLarge = false;
    const bool fetched = FetchWithin(url, options, count, body, reply, tooLarge);
    if (fetched && reply.status == 206 && body.size() == count) return true;
    problem = "a request for bytes " + std::to_string(offset) + "-" + std::to_string(offset + count - 1) + " " +
              (fetched && reply.status == 206 ? "answered 206 with " + std::to_string(body.size()) + " bytes"
                                              : Answer(reply));
    return false;
}

// What the package holds, from its end alone, as a quick check reads it too: the tail,
// then the central directory when it begins before the tail.
void CheckPackageContents(Report& report, const std::string& url, const FetchOptions& options, long long length) {
    std::string tail, directory, problem;
    ZipDirectoryPlace place;
    std::vector<ZipDirectoryEntry> entries;
    const std::uint64_t size = length > 0 ? static_cast<std::uint64_t>(length) : 0;
    const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, kZipTailBytes);
    bool served = length >= 0 && (size == 0 || FetchRange(url, options, tailStart, size - tailStart, tail, problem));
    bool read = served && LocateZipDirectory(tail, size, place, problem);
    if (read && place.offset >= tailStart)
        directory = tail.substr(static_cast<std::size_t>(place.offset - tailStart),
                                static_cast<std::size_t>(place.size));
    else if (read && place.size > 0)
        served = FetchRange(url, options, place.offset, place.size, directory, problem);
    read = served && read && ReadZipDirectory(directory, place, entries, problem);
    if (!read) {
        if (!served)
            Say(report, kSkip, "archive",
                length < 0 ? "the package's length is not known" : "needs range requests, but " + problem);
        else
            Say(report, kFail, "archive", "the package is " + problem + ": every install fails with " + kExtractFailed);
        for (const char* check : {"entries", "client executable", "entry names"})
            Say(report, kSkip, check, "needs the archive's directory");
        return;
    }
    Say(report, kPass, "archive", std::string("a zip archive") + (place.zip64 ? " (zip64)" : "") + " whose " +
        std::to_string(place.size) + "-byte central directory lists " + std::to_string(entries.size()) + " entries");
    if (entries.empty()) {
        Say(report, kFail, "entries",
            std::string("the archive holds no entries: every install ends with ") + kMissingClient);
        for (const char* check : {"client executable", "entry names"})
            Say(report, kSkip, check, "the archive holds no entries");
        return;
    }
    const PackageContents contents = DescribePackage(entries);
    Say(report, kPass, "entries", "the archive holds " + std::to_string(contents.files) + " files, " +
        std::to_string(contents.bytes) + " bytes unpacked");
    if (contents.hasClient)
        Say(report, kPass, "client executable", "\"Sarnhold-Elderline.exe\" is at the top of the archive");
    else
        Say(report, kFail, "client executable",
            std::string(kNoClientText) + ": every install ends with " + kMissingClient);
    if (contents.unsafeCount)
        Say(report, kFail, "entry names",
            DescribeUnsafeEntry(contents) + ": every install fails with " + kExtractFailed);
    else
        Say(report, kPass, "entry names", "every entry unpacks inside the install folder");
}

// The package: its download, resume, length, digest and what it holds.
void CheckPackage(Report& report, const UpdateManifest& manifest, const FetchOptions& options, bool quick) {
    const std::string url = WideToUtf8(manifest.client_url);
    Sha256Digest digest;
    std::uint64_t received = 0;
    std::string tail;
    ProgressLine progress = StartProgress("reading the package", manifest.client_size);
    FetchReply whole;
    const bool fetched = FetchUrl(url, options, [&](const char* data, std::size_t size) {
        if (quick) return false;
        AddToSha256(digest, data, size);
        received += size;
        tail.append(data, size);
        if (tail.size() > 2 * kTailBytes) tail.erase(0, tail.size() - kTailBytes);
        ShowProgress(progress, received);
        return true;
    }, whole);
    EndProgress(progress);
    if (!fetched || whole.status != 200) {
        const std::string how = whole.status == 200 ? "answered 200, then the transfer broke after " +
                                                          std::to_string(received) + " bytes (" + whole.error + ")"
                                                    : Answer(whole);
        Say(report, kFail, "download", url + " " + how + ": every install fails with " + kInterrupted);
        for (const char* check : {"resume", "length", "client digest", "archive", "entries", "client executable",
                                  "entry names"})
            Say(report, kSkip, check, "needs the download");
        return;
    }
    Say(report, kPass, "download", url + " answered 200" + (quick ? "" : " and sent " + std::to_string(received) + " bytes"));

    // The length the check goes by: counted, or in a quick check as the server announces it.
    const long long length = quick ? whole.announcedLength : static_cast<long long>(received);
    if (length < 2) {
        Say(report, kSkip, "resume", "the package's length is not known or too small to resume within");
    } else {
        const long long offset = length > static_cast<long long>(kTailBytes) ? length - kTailBytes : length / 2;
        // The right bytes: those the whole read ended with, or in a quick check those of an
        // earlier, overlapping request.
        std::string reference = tail, body;
        long long askedFrom = offset;
        FetchReply reply;
        bool referenceRead = true;
        if (quick) {
            const long long earlier = offset > static_cast<long long>(kTailBytes) ? offset - kTailBytes : 0;
            reply = FetchFrom(url, options, earlier, reference);
            referenceRead = reply.status == (earlier ? 206 : 200);
            if (!referenceRead) askedFrom = earlier;
        }
        if (referenceRead) reply = FetchFrom(url, options, offset, body);
        const std::size_t expectedCount = static_cast<std::size_t>(length - offset);
        reference = reference.size() >= expectedCount ? reference.substr(reference.size() - expectedCount) : "";
        const std::string asked = "a request for the bytes from " + std::to_string(askedFrom) + " on ";
        if (reply.status == 206 && !reference.empty() && body == reference)
            Say(report, kPass, "resume", asked + "answered 206 with the right " + std::to_string(body.size()) + " bytes");
        else if (reply.status == 206)
            Say(report, kFail, "resume", asked + "answered 206 with other bytes than the package holds there: every "
                "resumed download fails with " + kSecurityCheck);
        else if (reply.status == 200)
            Say(report, kFail, "resume", asked + "answered 200 with the whole package: every interrupted download "
                "starts again from byte 0");
        else
            Say(report, kFail, "resume", asked + Answer(reply) + ": every interrupted download fails again at each "
                "start with " + kInterrupted);
    }

    const std::string sizeText = std::to_string(manifest.client_size);
    if (length < 0)
        Say(report, kSkip, "length", "the server announces no length (a full check counts the bytes)");
    else if (static_cast<std::uint64_t>(length) == manifest.client_size)
        Say(report, kPass, "length", "the package is " + sizeText + " bytes, as client_size says" +
            (quick ? " (the length the server announces)" : ""));
    else
        Say(report, kFail, "length", "the package is " + std::to_string(length) + " bytes but client_size says " +
            sizeText + ": every install fails with " + kIncomplete);

    const std::string expected = WideToUtf8(manifest.client_sha256);
    const std::string computed = quick ? "" : FinishSha256(digest);
    if (quick)
        Say(report, kSkip, "client digest", "the package was not read (--quick)");
    else if (SameIgnoringAsciiCase(computed, expected))
        Say(report, kPass, "client digest", "SHA-256 " + computed + " equals client_sha256");
    else
        Say(report, kFail, "client digest", "the package's SHA-256 is " + computed + " but client_sha256 is " +
            Quoted(expected) + ": every install fails with " + kSecurityCheck);
    CheckPackageContents(report, url, options, length);
}

// The launcher file: what every older launcher replaces itself with.
void CheckLauncherFile(Report& report, const UpdateManifest& manifest, const FetchOptions& options) {
    if (manifest.launcher_version.empty() && manifest.launcher_url.empty() && manifest.launcher_sha256.empty()) {
        for (const char* check : {"launcher file", "launcher digest"})
            Say(report, kSkip, check, "no launcher is offered (its three fields are empty)");
        return;
    }
    const std::string url = WideToUtf8(manifest.launcher_url);
    const std::string offered = WideToUtf8(manifest.launcher_version);
    std::string file;
    FetchReply reply;
    bool tooLarge = false;
    const bool fetched = FetchWithin(url, options, kLauncherLimit, file, reply, tooLarge);
    std::string version, problem;
    int offeredNumbers[3] = {}, fileNumbers[3] = {};
    if (!fetched || reply.status != 200 || tooLarge) {
        Say(report, kFail, "launcher file", url + " " + (tooLarge ? "sent more than 256 MiB" : Answer(reply)) +
            ": every older launcher fails to update at every start");
        Say(report, kSkip, "launcher digest", "needs the launcher file");
        return;
    }
    if (!ReadExecutableVersion(file, version, problem))
        Say(report, kFail, "launcher file", url + " is " + problem + ": an older launcher that updates to it " +
            "cannot start it");
    else if (!ParseLauncherVersion(manifest.launcher_version, offeredNumbers))
        Say(report, kFail, "launcher file", "launcher_version " + Quoted(offered) + " is not major.minor.patch " +
            "(the file is " + version + "): no launcher ever updates itself");
    else if (ParseLauncherVersion(Utf8ToWide(version), fileNumbers) &&
             std::equal(fileNumbers, fileNumbers + 3, offeredNumbers))
        Say(report, kPass, "launcher file", "a Windows executable whose version resource says " + version +
            ", as launcher_version says");
    else if (std::lexicographical_compare(fileNumbers, fileNumbers + 3, offeredNumbers, offeredNumbers + 3))
        Say(report, kFail, "launcher file", "launcher_version says " + offered + " but the file's version " +
            "resource says " + version + ": every launcher before " + offered + " replaces itself with this " +
            "file at every start, for ever");
    else
        Say(report, kFail, "launcher file", "launcher_version says " + offered + " but the file's version " +
            "resource says " + version + ": launchers from " + offered + " on never receive it");

    const std::string computed = Sha256OfBytes(file);
    const std::string expected = WideToUtf8(manifest.launcher_sha256);
    if (SameIgnoringAsciiCase(computed, expected))
        Say(report, kPass, "launcher digest", "SHA-256 " + computed + " equals launcher_sha256");
    else
        Say(report, kFail, "launcher digest", "the file's SHA-256 is " + computed + " but launcher_sha256 is " +
            Quoted(expected) + ": every older launcher refuses the update at every start with " + kSecurityCheck);
}

}  // namespace

int RunCheckCommand(const CheckArguments& arguments) {
    std::string origin = arguments.origin;
    while (!origin.empty() && origin.back() == '/') origin.pop_back();
    const bool https = origin.compare(0, 8, "https://") == 0;
    if (!https && origin.compare(0, 7, "http://") != 0) {
        std::fprintf(stderr, "hollowmere-release: the origin must begin with https:// or http://\n");
        return 2;
    }
    Report report;
    FetchOptions options;
    options.caFile = arguments.caFile;
    options.timeouts = kGetTimeouts;
    const std::string manifestUrl = origin + WideToUtf8(kManifestPath);
    std::printf("Checking %s as the launcher sees it%s\n", manifestUrl.c_str(), arguments.quick ? " (quick)" : "");

    std::string document;
    FetchReply reply;
    bool tooLarge = false;
    const bool fetched = FetchWithin(manifestUrl, options, kManifestBodyLimit, document, reply, tooLarge);
    if (!https)
        Say(report, kSkip, "certificate", "a plain http origin (the release launcher talks to its origin over https only)");
    else if (reply.tlsRefused)
        Say(report, kFail, "certificate", origin + " was refused: " + reply.error + "; " + kNoManifest);
    else if (!reply.certificate.empty())
        Say(report, kPass, "certificate", reply.certificate);
    else
        Say(report, kSkip, "certificate", "no TLS connection was made (" + reply.error + ")");

    UpdateManifest manifest;
    std::wstring message;
    bool readable = false;
    if (!fetched || reply.status != 200 || tooLarge) {
        const std::string how = tooLarge ? "sent more than " + std::to_string(kManifestBodyLimit) + " bytes" : Answer(reply);
        if (!reply.tlsRefused) Say(report, kFail, "manifest", manifestUrl + " " + how + ": " + kNoManifest);
        else Say(report, kSkip, "manifest", "no launcher gets past the certificate");
        for (const char* check : {"fields", "size"}) Say(report, kSkip, check, "needs the manifest");
    } else {
        Say(report, kPass, "manifest", "answered 200 with " + std::to_string(document.size()) + " bytes");
        static const char* const kKeys[] = {"client_version",   "client_url",   "client_size",    "client_sha256",
                                            "launcher_version", "launcher_url", "launcher_sha256"};
        std::string values[7], missing;
        for (int i = 0; i < 7; ++i) {
            if (ExtractJsonString(document, kKeys[i], values[i])) continue;
            const bool present = document.find("\"" + std::string(kKeys[i]) + "\":") != std::string::npos;
            missing += std::string(missing.empty() ? "" : ", ") + kKeys[i] + (present ? " (not a JSON string)" : " (missing)");
        }
        readable = ReadUpdateManifest(document, manifest, message);
        const std::string invalid = ": every launcher stops with \"" + WideToUtf8(message) + "\"";
        if (!missing.empty())
            Say(report, kFail, "fields", missing + invalid);
        else if (Utf8ToWide(values[0]).empty() || Utf8ToWide(values[1]).empty())
            Say(report, kFail, "fields", "client_version and client_url must be non-empty UTF-8 text" + invalid);
        else
            Say(report, kPass, "fields", "all seven are JSON strings");
        std::uint64_t size = 0;
        if (!missing.empty())
            Say(report, kSkip, "size", "needs client_size as a JSON string");
        else if (ParseClientSize(values[2], size))
            Say(report, kPass, "size", "client_size " + Quoted(values[2]) + " reads as " + std::to_string(size) + " bytes");
        else
            Say(report, kFail, "size", "client_size " + Quoted(values[2]) + " is not a byte count: every launcher "
                "stops with \"The client download size is invalid.\"");
    }

    options.timeouts = kDownloadTimeouts;
    if (readable) {
        CheckPackage(report, manifest, options, arguments.quick);
        CheckLauncherFile(report, manifest, options);
    } else {
        for (const char* check : {"download", "resume", "length", "client digest", "archive", "entries",
                                  "client executable", "entry names", "launcher file", "launcher digest"})
            Say(report, kSkip, check, "no launcher reads this manifest");
    }

    if (report.failed) {
        std::printf("%d check%s failed: players would meet the faults above.\n", report.failed,
                    report.failed == 1 ? "" : "s");
        return 1;
    }
    std::printf(arguments.quick ? "Every check that ran passed; the package's digest was not checked (--quick).\n"
                                : "Every launcher would install and update cleanly.\n");
    return 0;
}
