#include <gtest/gtest.h>

#include <string>

#include "install/powershell_quote.h"
#include "net/http_requests.h"
#include "net/json_fields.h"
#include "net/service_interface.h"
#include "play/sign_in_text.h"

// Text that leaves the launcher for PowerShell, WinHTTP, the service or the shell, and
// the lookups that read the service's replies.

namespace {

TEST(QuotePowerShellLiteral, DoublesEveryKindOfSingleQuote) {
    // PowerShell ends a literal at any of them: an undoubled one lets the rest run as code.
    EXPECT_EQ(QuotePowerShellLiteral(L"D:\\Tom's a\u2018b\u2019c\u201Ad\u201Be $(x) \"q\" `n"),
              L"'D:\\Tom''s a\u2018\u2018b\u2019\u2019c\u201A\u201Ad\u201B\u201Be $(x) \"q\" `n'");
}

TEST(SplitServiceUrl, KeepsTheSignedQueryAndRefusesWhatDoesNotFit) {
    ServiceUrlParts parts;
    ASSERT_TRUE(SplitServiceUrl(L"https://cdn.example/c.zip?Expires=17&Signature=a%2Fb~c#part", parts,
                                kGetUrlPathCapacity));
    EXPECT_EQ(parts.scheme, kUrlSchemeHttps);
    EXPECT_EQ(parts.host, L"cdn.example");
    EXPECT_EQ(parts.port, 443);
    EXPECT_EQ(parts.path, L"/c.zip?Expires=17&Signature=a%2Fb~c");
    // A path fits when it and its terminator fit the buffer.
    const std::wstring path = L"/" + std::wstring(kPostUrlPathCapacity - 2, L'p');
    EXPECT_TRUE(SplitServiceUrl(L"https://h" + path, parts, kPostUrlPathCapacity));
    EXPECT_FALSE(SplitServiceUrl(L"https://h" + path + L"p", parts, kPostUrlPathCapacity));
    EXPECT_FALSE(SplitServiceUrl(L"https://" + std::wstring(kUrlHostCapacity, L'h') + L"/x", parts, kGetUrlPathCapacity));
    EXPECT_FALSE(SplitServiceUrl(L"ftp://service.example/x", parts, kGetUrlPathCapacity));
}

TEST(SignInText, ValuesAreEscapedSoTheyCannotAddMembers) {
    EXPECT_EQ(BuildDeviceTicketBody("a\",\"admin\":\"1"), "{\"device_token\":\"a\\\",\\\"admin\\\":\\\"1\"}");
    EXPECT_EQ(BuildRedeemBody("x\\y", "v\n\x01\xC3\xA9"),
              "{\"handle\":\"x\\\\y\",\"verifier\":\"v\\u000a\\u0001\xC3\xA9\"}");
    EXPECT_EQ(BuildStartBody("abc_-XYZ"), "{\"verifier\":\"abc_-XYZ\"}");
}

TEST(SignInText, OnlyWebAddressesAreOpened) {
    for (const wchar_t* url : {L"https://discord.example/authorize?x=1", L"HTTP://127.0.0.1:18470/approve"})
        EXPECT_TRUE(IsBrowserUrl(url)) << url;
    for (const wchar_t* url : {L"C:\\windows\\notepad.exe", L"file:///C:/windows/notepad.exe", L" https://a",
                               L"https:/one-slash", L"httpsx://a", L""})
        EXPECT_FALSE(IsBrowserUrl(url)) << url;
}

// Both lookups on one document: the value each finds, or null where it finds none. The
// fuzz target's seeds hold the refusals that need no table (space before the colon,
// a value that is no string, a first occurrence that is none).
TEST(JsonFields, LenientAndStrictLookups) {
    const struct {
        const char* document;
        const char* lenient;
        const char* strict;
        const char* key = "k";
    } cases[] = {
        {R"({"k":"v"})", "v", "v"},
        {R"({"k":   "v"})", "v", nullptr},  // spaces only, and only for the lenient lookup
        {"{\"k\":\t\"v\"}", nullptr, nullptr},
        // The strict lookup takes only \/ \\ \", the lenient one keeps the letter.
        {R"({"k":"a\/b\\c\"d"})", "a/b\\c\"d", "a/b\\c\"d"},
        {R"({"k":"a\nb\u00e9"})", "anbu00e9", nullptr},
        // The first occurrence at any depth is the one read; keys match exactly.
        {R"({"inner":{"k":"nested"},"k":"top"})", "nested", "nested"},
        {R"({"client_url_2":"a","client_url":"b"})", "b", "b", "client_url"},
    };
    for (const auto& c : cases) {
        std::string lenient, strict;
        EXPECT_EQ(ExtractJsonString(c.document, c.key, lenient), c.lenient != nullptr) << c.document;
        EXPECT_EQ(ExtractJsonStringStrict(c.document, c.key, strict), c.strict != nullptr) << c.document;
        if (c.lenient) { EXPECT_EQ(lenient, c.lenient) << c.document; }
        if (c.strict) { EXPECT_EQ(strict, c.strict) << c.document; }
    }
}

}  // namespace
