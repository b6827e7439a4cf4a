#include <gtest/gtest.h>

#include "net/http_requests.h"
#include "net/service_interface.h"

namespace {

TEST(SplitServiceUrl, SchemePortHostAndPath) {
    ServiceUrlParts parts;
    ASSERT_TRUE(SplitServiceUrl(L"https://service.example/download/sarnhold/manifest.json", parts,
                                kGetUrlPathCapacity));
    EXPECT_EQ(parts.scheme, kUrlSchemeHttps);
    EXPECT_EQ(parts.host, L"service.example");
    EXPECT_EQ(parts.port, 443);
    EXPECT_EQ(parts.path, L"/download/sarnhold/manifest.json");

    ASSERT_TRUE(SplitServiceUrl(L"http://service.example/a", parts, kGetUrlPathCapacity));
    EXPECT_NE(parts.scheme, kUrlSchemeHttps);
    EXPECT_EQ(parts.port, 80);

    ASSERT_TRUE(SplitServiceUrl(L"http://127.0.0.1:18470/api/launcher/start", parts, kPostUrlPathCapacity));
    EXPECT_EQ(parts.host, L"127.0.0.1");
    EXPECT_EQ(parts.port, 18470);
    EXPECT_EQ(parts.path, L"/api/launcher/start");
}

TEST(SplitServiceUrl, KeepsTheQueryAndDropsTheFragment) {
    ServiceUrlParts parts;
    ASSERT_TRUE(SplitServiceUrl(L"https://cdn.example/c.zip?Expires=17&Signature=a%2Fb~c#part", parts,
                                kGetUrlPathCapacity));
    EXPECT_EQ(parts.path, L"/c.zip?Expires=17&Signature=a%2Fb~c");
    ASSERT_TRUE(SplitServiceUrl(L"https://cdn.example/c.zip#only-a-fragment", parts, kGetUrlPathCapacity));
    EXPECT_EQ(parts.path, L"/c.zip");
}

TEST(SplitServiceUrl, RefusesWhatCannotBeRequested) {
    ServiceUrlParts parts;
    parts.host = L"kept";
    for (const wchar_t* url : {L"", L"service.example/manifest.json", L"ftp://service.example/x",
                               L"notascheme://service.example/x", L"https://"}) {
        EXPECT_FALSE(SplitServiceUrl(url, parts, kGetUrlPathCapacity)) << url;
    }
    EXPECT_EQ(parts.host, L"kept");

    const std::wstring longHost(kUrlHostCapacity, L'h');
    EXPECT_FALSE(SplitServiceUrl(L"https://" + longHost + L"/x", parts, kGetUrlPathCapacity));
    const std::wstring fittingHost(kUrlHostCapacity - 1, L'h');
    EXPECT_TRUE(SplitServiceUrl(L"https://" + fittingHost + L"/x", parts, kGetUrlPathCapacity));

    // A path fits when it and its terminator fit the buffer.
    const std::wstring path = L"/" + std::wstring(kPostUrlPathCapacity - 2, L'p');
    EXPECT_TRUE(SplitServiceUrl(L"https://h" + path, parts, kPostUrlPathCapacity));
    EXPECT_FALSE(SplitServiceUrl(L"https://h" + path + L"p", parts, kPostUrlPathCapacity));
    EXPECT_TRUE(SplitServiceUrl(L"https://h" + path + L"p", parts, kGetUrlPathCapacity));
}

}  // namespace
