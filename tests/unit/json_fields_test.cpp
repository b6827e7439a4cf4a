#include <gtest/gtest.h>

#include "net/json_fields.h"
#include "net/text_conversion.h"

namespace {

TEST(Utf8ToWide, ConvertsWholeValidTextOnly) {
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(Utf8ToWide("\xFF"), L"");
    EXPECT_EQ(Utf8ToWide("\xEF\xBB\xBFok"), L"\xFEFFok");  // a byte-order mark is kept
    EXPECT_EQ(Utf8ToWide("\xC3\xA6rin \xE2\x82\xAC \xF0\x9F\x8E\xAE"), L"\x00E6rin \x20AC \xD83C\xDFAE");
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    // One bad byte anywhere empties the whole text: no partial result.
    EXPECT_EQ(Utf8ToWide("good\xC3"), L"");
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"");  // an encoded surrogate
}

// Both lookups on one document. A null expected value is not checked; "untouched" is the
// value out as it was before a lookup that failed early.
struct Case {
    const char* document;
    bool lenient;
    const char* lenientValue;
    bool strict;
    const char* strictValue;
    const char* key = "k";
};

TEST(JsonFields, LenientAndStrictLookups) {
    const std::string spaces = "{\"k\":   ";
    const Case cases[] = {
        {R"({"k":"v"})", true, "v", true, "v"},
        // Spaces after the colon only for the lenient lookup; no other white space, none before it.
        {R"({"k":   "v"})", true, "v", false, "untouched"},
        {"{\"k\":\t\"v\"}", false, "untouched", false, "untouched"},
        {"{\"k\":\n\"v\"}", false, "untouched", false, "untouched"},
        {"{\"k\":\r\n\"v\"}", false, "untouched", false, "untouched"},
        {R"({"k" : "v"})", false, nullptr, false, nullptr},
        {spaces.c_str(), false, nullptr, false, nullptr},
        // Escapes: the strict lookup takes only \/ \\ \", the lenient one keeps the letter.
        {R"({"k":"a\/b\\c\"d"})", true, "a/b\\c\"d", true, "a/b\\c\"d"},
        {R"({"k":"a\nb"})", true, "anb", false, nullptr},
        {R"({"k":"caf\u00e9"})", true, "cafu00e9", false, nullptr},
        {"{\"k\":\"ab\\", false, "ab\\", false, nullptr},  // a backslash as the last byte
        {"{\"k\":\"\xC3\xA6rin\"}", true, "\xC3\xA6rin", true, "\xC3\xA6rin"},
        // Empty and non-string values, unterminated values, absent keys.
        {R"({"k":"","x":"y"})", true, "", true, ""},
        {R"({"k":42})", false, "untouched", false, "untouched"},
        {R"({"k":true})", false, nullptr, false, nullptr},
        {R"({"k":null})", false, nullptr, false, nullptr},
        {R"({"k":{"a":"b"}})", false, nullptr, false, nullptr},
        {R"({"k":["v"]})", false, nullptr, false, nullptr},
        {R"({"k": 42})", false, nullptr, false, nullptr},
        {R"({"k":)", false, nullptr, false, nullptr},
        {R"({"k":"unterminated)", false, nullptr, false, nullptr},
        {R"({"x":"k"})", false, nullptr, false, nullptr},
        {"", false, nullptr, false, nullptr},
        // The first occurrence at any depth is the only one tried; keys match exactly.
        {R"({"inner":{"k":1},"k":"top"})", false, nullptr, false, nullptr},
        {R"({"inner":{"k":"nested"},"k":"top"})", true, "nested", true, "nested"},
        {R"({"Client_URL":"x"})", false, "untouched", false, "untouched", "client_url"},
        {R"({"client_url_2":"a","client_url":"b"})", true, "b", true, "b", "client_url"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        std::string lenientValue = "untouched";
        std::string strictValue = "untouched";
        EXPECT_EQ(ExtractJsonString(c.document, c.key, lenientValue), c.lenient);
        EXPECT_EQ(ExtractJsonStringStrict(c.document, c.key, strictValue), c.strict);
        if (c.lenientValue) EXPECT_EQ(lenientValue, c.lenientValue);
        if (c.strictValue) EXPECT_EQ(strictValue, c.strictValue);
    }
}

}  // namespace
