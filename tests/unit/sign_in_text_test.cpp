#include <gtest/gtest.h>

#include <set>
#include <string>

#include "play/game_launch.h"
#include "play/sign_in.h"
#include "play/sign_in_text.h"

namespace {

TEST(SignInBodies, PlainValuesGoOutByteForByte) {
    EXPECT_EQ(BuildDeviceTicketBody("dev-123"), "{\"device_token\":\"dev-123\"}");
    EXPECT_EQ(BuildStartBody("abc_-XYZ"), "{\"verifier\":\"abc_-XYZ\"}");
    EXPECT_EQ(BuildRedeemBody("h1", "v2"), "{\"handle\":\"h1\",\"verifier\":\"v2\"}");
    EXPECT_EQ(BuildDeviceTicketBody(""), "{\"device_token\":\"\"}");
    EXPECT_EQ(BuildDeviceTicketBody("caf\xC3\xA9/x"), "{\"device_token\":\"caf\xC3\xA9/x\"}");
}

TEST(SignInBodies, QuotesBackslashesAndControlsAreEscaped) {
    // Without escaping this token would close the value and add a member of its own.
    EXPECT_EQ(BuildDeviceTicketBody("a\",\"admin\":\"1"), "{\"device_token\":\"a\\\",\\\"admin\\\":\\\"1\"}");
    EXPECT_EQ(BuildRedeemBody("x\\y", "v\n\t\x01"), "{\"handle\":\"x\\\\y\",\"verifier\":\"v\\u000a\\u0009\\u0001\"}");
}

TEST(Base64Url, KnownAnswersWithoutPadding) {
    auto encode = [](const std::string& text) {
        return EncodeBase64Url(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    };
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg");
    EXPECT_EQ(encode("fo"), "Zm8");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg");
    EXPECT_EQ(encode("\xFB\xFF\xBF"), "-_-_");
}

TEST(BrowserUrl, OnlyWebAddressesAreOpened) {
    EXPECT_TRUE(IsBrowserUrl(L"https://discord.example/authorize?x=1"));
    EXPECT_TRUE(IsBrowserUrl(L"HTTP://127.0.0.1:18470/approve"));
    EXPECT_TRUE(IsBrowserUrl(L"hTtPs://a"));
    EXPECT_FALSE(IsBrowserUrl(L"C:\\windows\\notepad.exe"));
    EXPECT_FALSE(IsBrowserUrl(L"file:///C:/windows/notepad.exe"));
    EXPECT_FALSE(IsBrowserUrl(L" https://leading.space"));
    EXPECT_FALSE(IsBrowserUrl(L"https:/one-slash"));
    EXPECT_FALSE(IsBrowserUrl(L"httpsx://a"));
    EXPECT_FALSE(IsBrowserUrl(L""));
}

TEST(SignInVerifier, FortyThreeUnpaddedBase64UrlCharactersFreshEachTime) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string verifier = MakeSignInVerifier();
        ASSERT_EQ(verifier.size(), 43u) << verifier;
        EXPECT_EQ(verifier.find_first_not_of(kAlphabet), std::string::npos) << verifier;
        EXPECT_EQ(verifier.find('='), std::string::npos);
        // 256 bits end in 4 bits shifted left by 2, so the last character is one of 16.
        EXPECT_NE(std::string("AEIMQUYcgkosw048").find(verifier.back()), std::string::npos) << verifier;
        seen.insert(verifier);
    }
    EXPECT_EQ(seen.size(), 200u) << "verifiers repeat: the random source is not used";
}

TEST(ParentFolder, TextBeforeTheLastSeparator) {
    EXPECT_EQ(ParentFolderOf(L"C:\\Games\\Sarnhold\\Sarnhold-Elderline.exe"), L"C:\\Games\\Sarnhold");
    EXPECT_EQ(ParentFolderOf(L"C:\\Games\\Sarnhold\\\\Sarnhold-Elderline.exe"), L"C:\\Games\\Sarnhold\\");
    EXPECT_EQ(ParentFolderOf(L"D:/mixed\\path/x.exe"), L"D:/mixed\\path");
    EXPECT_EQ(ParentFolderOf(L"x.exe"), L".");
    EXPECT_EQ(ParentFolderOf(L""), L".");
    EXPECT_EQ(ParentFolderOf(L"\\x.exe"), L"");
}

}  // namespace
