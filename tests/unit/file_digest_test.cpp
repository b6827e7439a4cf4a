#include <gtest/gtest.h>

#include <cwctype>
#include <fstream>
#include <sstream>
#include <string>

#include "net/download.h"
#include "support/test_files.h"

namespace {

TEST(Sha256OfFile, GivesTheKnownDigestsInUpperCase) {
    TempFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / L"empty.bin", ""));
    ASSERT_TRUE(WriteFileBytes(folder / L"abc.bin", "abc"));

    std::wstring digest;
    ASSERT_TRUE(Sha256OfFile(folder / L"empty.bin", digest));
    EXPECT_EQ(digest, L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    ASSERT_TRUE(Sha256OfFile(folder / L"abc.bin", digest));
    EXPECT_EQ(digest, L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
}

TEST(Sha256OfFile, FailsWithoutAFileAndLeavesTheDigestAlone) {
    TempFolder folder;
    std::wstring digest = L"before";
    EXPECT_FALSE(Sha256OfFile(folder / L"missing.bin", digest));
    EXPECT_FALSE(Sha256OfFile(folder / L"no-such-folder\\file.bin", digest));
    EXPECT_FALSE(Sha256OfFile(folder.path, digest));
    EXPECT_EQ(digest, L"before");
}

// Files of exactly one read buffer and of several buffers plus a tail, digested
// by sha256sum when the tests were built.
TEST(Sha256OfFile, AgreesWithSha256sumAcrossTheReadBuffer) {
    const std::wstring folder = BuildPath(L"test-data/digests");
    std::istringstream listing(ReadFileBytes(folder + L"/digests.txt"));
    int checked = 0;
    std::string hex, name;
    while (listing >> hex >> name) {
        std::wstring expected;
        for (char c : hex) expected += static_cast<wchar_t>(std::towupper(static_cast<unsigned char>(c)));
        std::wstring digest;
        ASSERT_TRUE(Sha256OfFile(folder + L"/" + std::wstring(name.begin(), name.end()), digest)) << name;
        EXPECT_EQ(digest, expected) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}

}  // namespace
