#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "net/download.h"
#include "net/http_requests.h"
#include "net/service_interface.h"
#include "net/text_conversion.h"
#include "support/clean_world.h"
#include "support/client_package.h"
#include "support/service_control.h"

namespace {

namespace fs = std::filesystem;
using Seen = std::vector<std::string>;

const wchar_t* const kInterrupted = L"The client download was interrupted. Run the launcher again to resume.";
const wchar_t* const kIncomplete = L"The client download was interrupted or incomplete.";
const wchar_t* const kSecurityCheck = L"The downloaded client failed its security check.";

const std::string kTenPath = "/files/ten.bin";
const std::string kTen = "0123456789";

class Download : public ServiceWorld {
protected:
    void SetUp() override {
        ServiceWorld::SetUp();
        std::string digest;
        ASSERT_TRUE(ServeServiceFile(kTenPath, kTen, &digest));
        tenDigest = Utf8ToWide(digest);
    }

    bool Fetch(std::uint64_t size) {
        message.clear();
        return DownloadVerifiedFile(ServiceTestUrl(kTenPath), target, size, tenDigest, message, ProgressCallback());
    }

    std::wstring target = folder / L"client.zip";
    std::wstring partial = target + L".download";
    std::wstring tenDigest;
    std::wstring message;
};

// One call each, from the partial file an earlier call left ("" for none) and the server's
// answer (a scenario, with its body when not null), to the message (null: success), the
// Range header of each request, and the bytes left: the target's after a success, else
// the partial file's ("(none)": no such file).
TEST_F(Download, EachAnswerLeavesTheBytesTheNextCallCanUse) {
    struct Case {
        const char *name, *partial, *how, *body;
        std::uint64_t size;  // 0: unknown, as for the launcher's own update
        const wchar_t* message;
        std::vector<std::string> ranges;
        std::string left;
    };
    const Case cases[] = {
        {"fresh download", "", "", nullptr, 10, nullptr, {"(none)"}, kTen},
        {"206 continues the partial file", "0123", "", nullptr, 10, nullptr, {"bytes=4-"}, kTen},
        {"200 replaces the partial file", "abcd", "ignore_range=1", nullptr, 10, nullptr, {"bytes=4-"}, kTen},
        {"416 keeps the partial file", "0123", "status=416&body_size=0", nullptr, 10, kInterrupted, {"bytes=4-"}, "0123"},
        {"a fresh start takes only 200", "", "status=206", nullptr, 10, kInterrupted, {"(none)"}, ""},
        {"a cut keeps what arrived", "", "cut_after=7", nullptr, 10, kIncomplete, {"(none)"}, "0123456"},
        {"a complete partial file", kTen.c_str(), "", nullptr, 10, nullptr, {}, kTen},
        {"a longer partial file starts over", "0123456789X", "", nullptr, 10, nullptr, {"(none)"}, kTen},
        {"more bytes than announced", "", "", nullptr, 8, kIncomplete, {"(none)"}, kTen},
        {"damaged bytes are dropped", "", "status=200", "012345678X", 10, kSecurityCheck, {"(none)"}, "(none)"},
        {"unknown size resumes", "01234", "", nullptr, 0, nullptr, {"bytes=5-"}, kTen},
        {"unknown size, whole partial file", kTen.c_str(), "", nullptr, 0, nullptr, {}, kTen},
        {"unknown size, nothing past a wrong file", "a wrong launcher", "", nullptr, 0, kSecurityCheck, {"bytes=16-"},
         "(none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService() && ServeServiceFile(kTenPath, kTen));
        fs::remove(fs::path(target));
        fs::remove(fs::path(partial));
        ASSERT_TRUE(!*c.partial || WriteFileBytes(partial, c.partial));
        ASSERT_TRUE(AddScenario(kTenPath, std::string(c.how) + "&times=1", c.body));

        EXPECT_EQ(Fetch(c.size), c.message == nullptr);
        EXPECT_EQ(message, c.message ? c.message : L"");
        EXPECT_EQ(SeenByService(kTenPath, "Range"), c.ranges);
        const std::wstring& kept = c.message ? partial : target;
        EXPECT_EQ(FileExists(kept) ? ReadFileBytes(kept) : "(none)", c.left);
        EXPECT_FALSE(FileExists(c.message ? target : partial));
    }
}

// A partial file resumes only for the release it was begun for, as its record beside it
// says; bytes of another release start over, and a file without a record (an older
// launcher's) resumes as before. The record is there from the first byte and goes with
// the partial file.
TEST_F(Download, APartialFileResumesOnlyForItsOwnRelease) {
    std::string digest = ToUtf8(tenDigest);
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string nearMiss = digest;
    nearMiss.back() = nearMiss.back() == '0' ? '1' : '0';
    const std::wstring record = PartialReleaseRecordPath(target);
    const struct {
        const char* name;
        std::string record;  // empty: none
        const char* range;
    } cases[] = {
        {"no record", "", "bytes=4-"},
        {"this release", "10 " + digest + "\n", "bytes=4-"},
        {"a digest one character off", "10 " + nearMiss + "\n", "(none)"},
        {"a size one byte more", "11 " + digest + "\n", "(none)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ResetService() && ServeServiceFile(kTenPath, kTen));
        ASSERT_TRUE(WriteFileBytes(target, kTen));  // a complete package kept from before is no partial file
        ASSERT_TRUE(WriteFileBytes(partial, "0123"));
        fs::remove(fs::path(record));
        ASSERT_TRUE(c.record.empty() || WriteFileBytes(record, c.record));
        // What the room check counts as fetched already.
        EXPECT_EQ(ResumableBytes(target, 10, tenDigest), std::string(c.range) == "(none)" ? 0u : 4u);
        EXPECT_TRUE(Fetch(10)) << ToUtf8(message);
        EXPECT_EQ(SeenByService(kTenPath, "Range"), std::vector<std::string>{c.range});
        EXPECT_EQ(ReadFileBytes(target), kTen);
        EXPECT_FALSE(FileExists(record));
    }
    ASSERT_TRUE(AddScenario(kTenPath, "cut_after=3&times=1"));
    fs::remove(fs::path(target));
    EXPECT_FALSE(Fetch(10));
    EXPECT_EQ(ReadFileBytes(partial), "012");
    EXPECT_EQ(ReadFileBytes(record), "10 " + digest + "\n");

    // Bytes whose digest differs from the manifest's in its last digit only fail the check.
    EXPECT_FALSE(DownloadVerifiedFile(ServiceTestUrl(kTenPath), target, 10, Utf8ToWide(nearMiss), message,
                                      ProgressCallback()));
    EXPECT_EQ(message, kSecurityCheck);

}

TEST_F(Download, AServerThatGoesOnSendingIsCutOffPastTheSizeOrTheCap) {
    ASSERT_TRUE(AddScenario(kTenPath, "body_size=3145728&times=1"));
    EXPECT_FALSE(Fetch(10));
    EXPECT_EQ(message, kIncomplete);
    EXPECT_LT(fs::file_size(fs::path(partial)), 2u * 1048576);

    // Unknown size: a partial file already at the 256 MiB cap (an older launcher's, without
    // a record), so only the bytes past it travel.
    fs::remove(fs::path(PartialReleaseRecordPath(target)));
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER cap;
    cap.QuadPart = 256ll * 1048576;
    ASSERT_TRUE(SetFilePointerEx(file, cap, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_TRUE(AddScenario(kTenPath, "status=206&body_size=3145728&times=1"));
    EXPECT_FALSE(Fetch(0));
    EXPECT_EQ(message, kIncomplete);
    EXPECT_LT(fs::file_size(fs::path(partial)), (256u + 2) * 1048576);
}

TEST_F(Download, ATargetThatCannotBeWrittenFailsTheDownload) {
    ASSERT_TRUE(fs::create_directories(fs::path(target) / L"inside"));
    EXPECT_FALSE(Fetch(10));
    EXPECT_EQ(message, L"Could not finalize the downloaded file.");
    EXPECT_EQ(ReadFileBytes(partial), kTen);  // verified, so kept for the next call

    // The build links this partial file to Linux's /dev/full: every write is accepted into
    // the stream's buffer and fails with a full disk when the file is closed.
    target = BuildPath(L"test-data/full-disk/client.zip");
    fs::remove(fs::path(target));
    EXPECT_FALSE(Fetch(10));
    EXPECT_EQ(message, kInterrupted);
    EXPECT_FALSE(FileExists(target));
}

using HttpRequests = ServiceWorld;

TEST_F(HttpRequests, GetTakesOnly200WithinTheLimitAndKeepsTheQuery) {
    const std::string manifest = "/download/sarnhold/manifest.json";
    std::string served, body;
    std::wstring message;
    ASSERT_TRUE(ReadServiceFile(manifest, served));
    ASSERT_TRUE(HttpGetToMemory(ServiceTestUrl(manifest + "?Expires=17&Signature=a%2Fb~c#part"), body, message));
    EXPECT_EQ(body, served);
    EXPECT_EQ(SeenByService(manifest), Seen{manifest + "?Expires=17&Signature=a%2Fb~c"});
    EXPECT_EQ(SeenByService(manifest, "User-Agent"), Seen{"Hollowmere-Sarnhold-Launcher/2.0"});
    for (const std::string& how : {std::string("status=204"), std::string("status=206"), std::string("status=500"),
                                   "status=200&body_size=" + std::to_string(kManifestBodyLimit + 1)}) {
        ASSERT_TRUE(AddScenario("/doc", how + "&times=1"));
        EXPECT_FALSE(HttpGetToMemory(ServiceTestUrl("/doc"), body, message)) << how;
        EXPECT_EQ(message, L"Could not download the Hollowmere update manifest.") << how;
    }
    ASSERT_TRUE(AddScenario("/doc", "status=200&body_size=" + std::to_string(kManifestBodyLimit)));
    EXPECT_TRUE(HttpGetToMemory(ServiceTestUrl("/doc"), body, message));
}

TEST_F(HttpRequests, PostSendsJsonAsItIsAndHandsBackAnyStatusAndReply) {
    const std::string path = "/api/launcher/redeem", error = "{\"error\":\"Your session has ended.\"}";
    ASSERT_TRUE(AddScenario(path, "status=401&times=1", error.c_str()));
    std::uint32_t status = 0;
    std::string reply;
    ASSERT_TRUE(HttpPostJson(ServiceTestUrl(path), "{\"handle\":\"h\"}", status, reply));
    EXPECT_EQ(status, 401u);
    EXPECT_EQ(reply, error);
    EXPECT_EQ(SeenByService(path, "body"), Seen{"{\"handle\":\"h\"}"});
    EXPECT_EQ(SeenByService(path, "Content-Type"), Seen{"application/json"});
    EXPECT_EQ(SeenByService(path, "Accept"), Seen{"application/json"});
    EXPECT_EQ(SeenByService(path, "User-Agent"), Seen{"Hollowmere-Sarnhold-Launcher/1.0"});
    ASSERT_TRUE(AddScenario(path, "body_size=" + std::to_string(kPostReplyLimit + 1)));
    EXPECT_FALSE(HttpPostJson(ServiceTestUrl(path), "{}", status, reply));
}

}  // namespace
