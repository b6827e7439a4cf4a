#include <gtest/gtest.h>

#include "net/json_fields.h"
#include "net/text_conversion.h"

namespace {

// Both lookups on one document; "untouched" stands in value out when they fail early.
struct Lookups {
    bool lenient;
    std::string lenientValue = "untouched";
    bool strict;
    std::string strictValue = "untouched";
};

Lookups LookUp(const std::string& document, const char* key = "k") {
    Lookups result{};
    result.lenient = ExtractJsonString(document, key, result.lenientValue);
    result.strict = ExtractJsonStringStrict(document, key, result.strictValue);
    return result;
}

TEST(Utf8ToWide, ConvertsWholeValidTextOnly) {
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(Utf8ToWide("\xFF"), L"");
    EXPECT_EQ(Utf8ToWide("Ready"), L"Ready");
    EXPECT_EQ(Utf8ToWide("\xEF\xBB\xBFok"), L"\xFEFFok");  // a byte-order mark is kept
    EXPECT_EQ(Utf8ToWide("\xC3\xA6rin \xE2\x82\xAC \xF0\x9F\x8E\xAE"), L"\x00E6rin \x20AC \xD83C\xDFAE");
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    // One bad byte anywhere empties the whole text: no partial result.
    EXPECT_EQ(Utf8ToWide("good\xC3"), L"");
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"");  // an encoded surrogate
}

TEST(JsonFields, WhiteSpaceAfterColon) {
    Lookups plain = LookUp(R"({"k":"v"})");
    EXPECT_TRUE(plain.lenient && plain.strict);
    EXPECT_EQ(plain.lenientValue, "v");
    EXPECT_EQ(plain.strictValue, "v");

    Lookups spaced = LookUp(R"({"k":   "v"})");
    EXPECT_TRUE(spaced.lenient);
    EXPECT_EQ(spaced.lenientValue, "v");
    EXPECT_FALSE(spaced.strict);
    EXPECT_EQ(spaced.strictValue, "untouched");

    for (const char* document : {"{\"k\":\t\"v\"}", "{\"k\":\n\"v\"}", "{\"k\":\r\n\"v\"}"}) {
        Lookups other = LookUp(document);
        EXPECT_FALSE(other.lenient) << document;
        EXPECT_FALSE(other.strict) << document;
        EXPECT_EQ(other.lenientValue, "untouched");
    }
    // The needle is quote, key, quote, colon with nothing between.
    Lookups beforeColon = LookUp(R"({"k" : "v"})");
    EXPECT_FALSE(beforeColon.lenient || beforeColon.strict);
    // Spaces up to the end of the document.
    EXPECT_FALSE(LookUp(R"({"k":   )").lenient);
}

TEST(JsonFields, Escapes) {
    Lookups slash = LookUp(R"({"k":"a\/b\\c\"d"})");
    EXPECT_TRUE(slash.lenient && slash.strict);
    EXPECT_EQ(slash.lenientValue, "a/b\\c\"d");
    EXPECT_EQ(slash.strictValue, "a/b\\c\"d");

    Lookups newline = LookUp(R"({"k":"a\nb"})");
    EXPECT_TRUE(newline.lenient);
    EXPECT_EQ(newline.lenientValue, "anb");
    EXPECT_FALSE(newline.strict);

    Lookups unicode = LookUp(R"({"k":"caf\u00e9"})");
    EXPECT_TRUE(unicode.lenient);
    EXPECT_EQ(unicode.lenientValue, "cafu00e9");
    EXPECT_FALSE(unicode.strict);

    // A backslash as the very last byte: kept by the lenient lookup, which still fails.
    Lookups trailing = LookUp("{\"k\":\"ab\\");
    EXPECT_FALSE(trailing.lenient || trailing.strict);
    EXPECT_EQ(trailing.lenientValue, "ab\\");

    // Bytes of UTF-8 pass through unchanged.
    Lookups utf8 = LookUp("{\"k\":\"\xC3\xA6rin\"}");
    EXPECT_EQ(utf8.strictValue, "\xC3\xA6rin");
}

TEST(JsonFields, EmptyAndNonStringValues) {
    Lookups empty = LookUp(R"({"k":"","x":"y"})");
    EXPECT_TRUE(empty.lenient && empty.strict);
    EXPECT_EQ(empty.lenientValue, "");
    EXPECT_EQ(empty.strictValue, "");

    for (const char* document : {R"({"k":42})", R"({"k":true})", R"({"k":false})", R"({"k":null})",
                                 R"({"k":{"a":"b"}})", R"({"k":["v"]})", R"({"k": 42})", R"({"k":)",
                                 R"({"k":"unterminated)", R"({"x":"k"})", R"({})", ""}) {
        Lookups absent = LookUp(document);
        EXPECT_FALSE(absent.lenient) << document;
        EXPECT_FALSE(absent.strict) << document;
    }
    // Failing before the opening quote leaves value out as it was.
    EXPECT_EQ(LookUp(R"({"k":42})").lenientValue, "untouched");
    EXPECT_EQ(LookUp(R"({"k":42})").strictValue, "untouched");
}

TEST(JsonFields, FirstOccurrenceAtAnyDepthAndCase) {
    Lookups numberFirst = LookUp(R"({"inner":{"k":1},"k":"top"})");
    EXPECT_FALSE(numberFirst.lenient || numberFirst.strict);  // the second one is never tried

    Lookups nestedString = LookUp(R"({"inner":{"k":"nested"},"k":"top"})");
    EXPECT_EQ(nestedString.lenientValue, "nested");
    EXPECT_EQ(nestedString.strictValue, "nested");

    std::string value = "untouched";
    EXPECT_FALSE(ExtractJsonString(R"({"Client_URL":"x"})", "client_url", value));
    EXPECT_FALSE(ExtractJsonStringStrict(R"({"Client_URL":"x"})", "client_url", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(ExtractJsonString(R"({"client_url_2":"a","client_url":"b"})", "client_url", value));
    EXPECT_EQ(value, "b");
}

}  // namespace
