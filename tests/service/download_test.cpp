#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/download.h"
#include "support/service_control.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

const wchar_t* const kInvalidUrl = L"Invalid download URL.";
const wchar_t* const kInterrupted = L"The client download was interrupted. Run the launcher again to resume.";
const wchar_t* const kIncomplete = L"The client download was interrupted or incomplete.";
const wchar_t* const kSecurityCheck = L"The downloaded client failed its security check.";
const wchar_t* const kFinalize = L"Could not finalize the downloaded file.";

const std::string kTenPath = "/files/ten.bin";
const std::string kTen = "0123456789";

using Report = std::pair<std::wstring, int>;
using Reports = std::vector<Report>;

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetService()) << "the stand-in service does not answer";
        ASSERT_TRUE(ServeServiceFile(kTenPath, kTen));
        tenDigest = Sha256OfBytes(kTen);
        target = folder / L"client.zip";
        partial = target + L".download";
    }

    // Downloads url to target, keeping every progress report in reports.
    bool Fetch(const std::wstring& url, std::uint64_t size, const std::wstring& digest) {
        reports.clear();
        message = L"untouched";
        const ProgressCallback progress = [this](const wchar_t* text, int percent) {
            reports.emplace_back(text, percent);
        };
        return DownloadVerifiedFile(url, target, size, digest, message, progress);
    }

    static std::vector<RecordedRequest> Requests() {
        std::vector<RecordedRequest> requests;
        EXPECT_TRUE(ReadServiceRequests(requests));
        return requests;
    }

    // The Range header of the one request since the last clear: "none" without one.
    static std::string OnlyRange() {
        const auto requests = Requests();
        if (requests.size() != 1) return std::to_string(requests.size()) + " requests";
        return requests[0].HasHeader("Range") ? requests[0].Header("Range") : "none";
    }

    // A fetch from a cleared request record: the target ends as bytes and the one request
    // asked for range ("none": no Range header).
    void ExpectNextFetch(std::uint64_t size, const std::wstring& digest, const std::string& bytes,
                         const std::string& range) {
        ASSERT_TRUE(ClearServiceRequests());
        ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), size, digest)) << message;
        EXPECT_EQ(ReadFileBytes(target), bytes);
        EXPECT_EQ(OnlyRange(), range);
    }

    static ServiceScenario Scenario(const std::string& path) {
        ServiceScenario scenario;
        scenario.path = path;
        scenario.times = 1;
        return scenario;
    }

    TempFolder folder;
    std::wstring target;
    std::wstring partial;
    std::wstring tenDigest;
    std::wstring message;
    Reports reports;
};

TEST_F(Download, FreshDownloadReportsProgressAndAsksForTheWholeFile) {
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, L"untouched");
    EXPECT_EQ(reports, (Reports{{L"Downloading", 0}, {L"Downloading", 100}, {L"Verifying download", 100}}));
    EXPECT_EQ(ReadFileBytes(target), kTen);
    EXPECT_FALSE(FileExists(partial));

    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kTenPath);
    EXPECT_FALSE(requests[0].HasHeader("Range"));
    EXPECT_EQ(requests[0].Header("User-Agent"), "Hollowmere-Sarnhold-Launcher/2.0");
}

TEST_F(Download, ResumesAPartialFileFromItsLength) {
    // 206: the rest is appended to the four bytes already there.
    ASSERT_TRUE(WriteFileBytes(partial, "0123"));
    ExpectNextFetch(10, tenDigest, kTen, "bytes=4-");
    EXPECT_EQ(reports, (Reports{{L"Downloading", 40}, {L"Downloading", 100}, {L"Verifying download", 100}}));

    // 200: the server sends everything, which replaces the four bytes (here wrong ones,
    // which appended would make fourteen).
    ASSERT_TRUE(WriteFileBytes(partial, "abcd"));
    ServiceScenario whole = Scenario(kTenPath);
    whole.ignoreRange = true;
    ASSERT_TRUE(AddServiceScenario(whole));
    ExpectNextFetch(10, tenDigest, kTen, "bytes=4-");

    // 416 (or any status but 200 and 206): interrupted, and the four bytes stay.
    ASSERT_TRUE(WriteFileBytes(partial, "0123"));
    fs::remove(fs::path(target));
    ServiceScenario refused = Scenario(kTenPath);
    refused.status = 416;
    refused.bodySize = 0;
    ASSERT_TRUE(AddServiceScenario(refused));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, kInterrupted);
    EXPECT_EQ(ReadFileBytes(partial), "0123");
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(reports, (Reports{{L"Downloading", 40}}));
}

TEST_F(Download, AFreshStartAcceptsOnly200) {
    ASSERT_TRUE(AddServiceStatus(kTenPath, 206, 1));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, kInterrupted);
    // The partial file is opened even so, and is left empty.
    EXPECT_EQ(ReadFileBytes(partial), "");
    EXPECT_TRUE(FileExists(partial));

    ASSERT_TRUE(AddServiceStatus(kTenPath, 404, 1));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, kInterrupted);
    EXPECT_FALSE(FileExists(target));
}

TEST_F(Download, ACutConnectionIsResumedWhereItStopped) {
    ServiceScenario cut = Scenario(kTenPath);
    cut.cutAfter = 7;
    ASSERT_TRUE(AddServiceScenario(cut));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, kIncomplete);
    EXPECT_EQ(ReadFileBytes(partial), "0123456");
    EXPECT_EQ(reports, (Reports{{L"Downloading", 0}, {L"Downloading", 70}}));
    EXPECT_FALSE(FileExists(target));
    ExpectNextFetch(10, tenDigest, kTen, "bytes=7-");
}

TEST_F(Download, ACompletePartialFileNeedsNoRequestAndALongerOneStartsOver) {
    ASSERT_TRUE(WriteFileBytes(partial, kTen));
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(ReadFileBytes(target), kTen);
    EXPECT_FALSE(FileExists(partial));
    EXPECT_EQ(reports, (Reports{{L"Downloading", 100}, {L"Verifying download", 100}}));
    EXPECT_TRUE(Requests().empty());

    ASSERT_TRUE(WriteFileBytes(partial, kTen + "X"));
    ExpectNextFetch(10, tenDigest, kTen, "none");
}

TEST_F(Download, MoreBytesThanAnnouncedAreIncompleteAndFetchedAgainNextTime) {
    const std::wstring eightDigest = Sha256OfBytes(kTen.substr(0, 8));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 8, eightDigest));
    EXPECT_EQ(message, kIncomplete);
    EXPECT_EQ(ReadFileBytes(partial), kTen);
    EXPECT_EQ(reports.back(), (Report{L"Downloading", 100}));

    ASSERT_TRUE(ServeServiceFile(kTenPath, kTen.substr(0, 8)));
    ExpectNextFetch(8, eightDigest, kTen.substr(0, 8), "none");

    // A server that goes on sending is cut off once the bytes pass the size, known or
    // (the launcher's own update) the cap of 256 MiB.
    for (const std::uint64_t size : {std::uint64_t(10), std::uint64_t(0)}) {
        fs::remove(fs::path(partial));
        ServiceScenario endless = Scenario(kTenPath);
        endless.bodySize = 257 * 1048576;
        ASSERT_TRUE(AddServiceScenario(endless));
        EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), size, tenDigest)) << size;
        EXPECT_EQ(message, kIncomplete) << size;
        EXPECT_LT(fs::file_size(fs::path(partial)), (size > 0 ? 2u : 258u) * 1048576) << size;
    }
}

TEST_F(Download, ComparesTheWholeDigestIgnoringLetterCase) {
    std::wstring lower;
    for (wchar_t c : tenDigest) lower += static_cast<wchar_t>(std::towlower(c));
    ASSERT_NE(lower, tenDigest);
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 10, lower));
    EXPECT_EQ(ReadFileBytes(target), kTen);

    for (const std::wstring& wrong : {tenDigest + L" ", L" " + tenDigest, tenDigest.substr(0, 63), std::wstring()}) {
        fs::remove(fs::path(target));
        EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, wrong)) << wrong;
        EXPECT_EQ(message, kSecurityCheck);
        EXPECT_FALSE(FileExists(target));
    }
}

TEST_F(Download, BytesThatFailTheCheckAreDroppedSoTheNextAttemptStartsAfresh) {
    // The server first serves damaged bytes of the right length.
    ASSERT_TRUE(ServeServiceFile(kTenPath, "012345678X"));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, kSecurityCheck);
    EXPECT_EQ(reports.back(), (Report{L"Verifying download", 100}));
    EXPECT_FALSE(FileExists(partial));
    EXPECT_FALSE(FileExists(target));

    ASSERT_TRUE(ServeServiceFile(kTenPath, kTen));
    ExpectNextFetch(10, tenDigest, kTen, "none");
}

TEST_F(Download, AnUnknownSizeGivesNoPercentagesAndTakesAnyLength) {
    const std::string longer = kTen + kTen + "!";
    ASSERT_TRUE(ServeServiceFile(kTenPath, longer));
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 0, Sha256OfBytes(longer)));
    EXPECT_EQ(reports, (Reports{{L"Downloading", 0}, {L"Verifying download", 100}}));
    EXPECT_EQ(ReadFileBytes(target), longer);

    // A partial file is resumed from its length, as with a known size.
    ASSERT_TRUE(WriteFileBytes(partial, longer.substr(0, 5)));
    ExpectNextFetch(0, Sha256OfBytes(longer), longer, "bytes=5-");

    // Bytes that fail the check are not resumed past their end next time (which
    // would only ever get 416): they are fetched afresh.
    ASSERT_TRUE(ServeServiceFile(kTenPath, "a different launcher"));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 0, Sha256OfBytes(longer)));
    EXPECT_EQ(message, kSecurityCheck);
    EXPECT_FALSE(FileExists(partial));
    ASSERT_TRUE(ServeServiceFile(kTenPath, longer));
    ExpectNextFetch(0, Sha256OfBytes(longer), longer, "none");

    // A whole partial file (its move failed last time) goes into place without a request;
    // one the server has nothing more for (416) is whole too, and fails the check.
    ASSERT_TRUE(WriteFileBytes(partial, longer));
    ASSERT_TRUE(ClearServiceRequests());
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 0, Sha256OfBytes(longer))) << message;
    EXPECT_EQ(ReadFileBytes(target), longer);
    EXPECT_TRUE(Requests().empty());
    ASSERT_TRUE(WriteFileBytes(partial, "wrong bytes of another launcher"));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 0, Sha256OfBytes(longer)));
    EXPECT_EQ(message, kSecurityCheck);
    EXPECT_FALSE(FileExists(partial));
}

TEST_F(Download, ReplacesTheTargetAndMakesItsFolder) {
    ASSERT_TRUE(WriteFileBytes(target, "an older package, longer than the new one"));
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(ReadFileBytes(target), kTen);

    target = folder / L"not\\yet\\there\\client.zip";
    partial = target + L".download";
    ASSERT_TRUE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(ReadFileBytes(target), kTen);
    EXPECT_FALSE(FileExists(partial));
}

TEST_F(Download, AFolderInTheTargetsPlaceKeepsTheVerifiedBytes) {
    ASSERT_TRUE(fs::create_directories(fs::path(target) / L"inside"));
    EXPECT_FALSE(Fetch(ServiceTestUrl(kTenPath), 10, tenDigest));
    EXPECT_EQ(message, kFinalize);
    EXPECT_EQ(ReadFileBytes(partial), kTen);
    EXPECT_TRUE(fs::is_directory(fs::path(target)));
}

TEST_F(Download, BadUrlsAndUnreachableServersTouchNoBytes) {
    ASSERT_TRUE(WriteFileBytes(partial, "0123"));
    const std::wstring nested = folder / L"missing\\client.zip";
    for (const wchar_t* url : {L"", L"files/ten.bin", L"ftp://127.0.0.1/files/ten.bin"}) {
        message.clear();
        EXPECT_FALSE(DownloadVerifiedFile(url, nested, 10, tenDigest, message, ProgressCallback()));
        EXPECT_EQ(message, kInvalidUrl) << url;
    }
    EXPECT_FALSE(FileExists(folder / L"missing"));

    // Nothing listens on port 1 of loopback: the connection is refused at once.
    EXPECT_FALSE(Fetch(L"http://127.0.0.1:1/files/ten.bin", 10, tenDigest));
    EXPECT_EQ(message, kInterrupted);
    EXPECT_EQ(ReadFileBytes(partial), "0123");
}

// The build links this partial file to Linux's /dev/full: every write is accepted into
// the stream's buffer and fails with a full disk when the file is closed.
TEST_F(Download, AFullDiskAtTheLastFlushIsAnInterruption) {
    target = BuildPath(L"test-data/full-disk/client.zip");
    std::error_code ignored;
    fs::remove(fs::path(target), ignored);
    // Without the check, the download would go on to digest the endless device.
    std::atomic<bool> finished{false};
    std::thread watchdog([&finished] {
        for (int waited = 0; waited < 200 && !finished; ++waited) Sleep(100);
        if (!finished) {
            std::fprintf(stderr, "A download into a full disk did not end\n");
            std::_Exit(1);
        }
    });
    const bool ok = Fetch(ServiceTestUrl(kTenPath), 10, tenDigest);
    finished = true;
    watchdog.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, kInterrupted);
    EXPECT_FALSE(FileExists(target));
}

// Many cuts at random places, some answered with the whole file instead of the range
// asked for: every attempt keeps a true prefix, and the last one ends with the source.
TEST_F(Download, RandomCutsAlwaysEndWithTheSourceBytes) {
    std::mt19937 random(20261206);
    std::string source(3 * 1048576 + 4321, '\0');
    for (char& byte : source) byte = static_cast<char>(random() & 0xFF);
    const std::string path = "/files/random.bin";
    ASSERT_TRUE(ServeServiceFile(path, source));
    const std::wstring digest = Sha256OfBytes(source);

    std::uint64_t held = 0;
    for (int attempt = 0; attempt < 24; ++attempt) {
        ServiceScenario cut = Scenario(path);
        cut.ignoreRange = attempt % 6 == 5;
        const std::uint64_t from = cut.ignoreRange ? 0 : held;
        cut.cutAfter = static_cast<long long>(random() % (source.size() - from));
        ASSERT_TRUE(AddServiceScenario(cut));
        ASSERT_TRUE(ClearServiceRequests());

        EXPECT_FALSE(Fetch(ServiceTestUrl(path), source.size(), digest));
        EXPECT_TRUE(message == kIncomplete || message == kInterrupted) << attempt;
        EXPECT_EQ(OnlyRange(), held > 0 ? "bytes=" + std::to_string(held) + "-" : "none") << attempt;

        const std::string kept = ReadFileBytes(partial);
        ASSERT_EQ(kept.size(), from + cut.cutAfter) << attempt;
        ASSERT_TRUE(kept == source.substr(0, kept.size())) << attempt;
        held = kept.size();
    }
    ASSERT_TRUE(Fetch(ServiceTestUrl(path), source.size(), digest));
    EXPECT_TRUE(ReadFileBytes(target) == source);
    EXPECT_FALSE(FileExists(partial));
}

}  // namespace
