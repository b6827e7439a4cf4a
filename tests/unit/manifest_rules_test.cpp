#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "update/manifest_rules.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields ValidFields() {
    return {{"client_version", "1.2.3"},
            {"client_url", "https://cdn.example/sarnhold/client.zip?sig=a%2Fb"},
            {"client_size", "3400000000"},
            {"client_sha256", "ABCDEF"},
            {"launcher_version", "2.0.5"},
            {"launcher_url", "https://cdn.example/launcher.exe"},
            {"launcher_sha256", "0123"}};
}

// A document as the service writes it, with a space after each colon.
std::string Document(const Fields& fields) {
    std::string text = "{";
    for (const auto& field : fields) {
        if (text.size() > 1) text += ",\n  ";
        text += "\"" + field.first + "\": \"" + field.second + "\"";
    }
    return text + "}";
}

UpdateManifest Earlier() {
    UpdateManifest manifest;
    manifest.client_version = L"earlier";
    manifest.client_url = L"http://earlier/client.zip";
    manifest.client_size = 7;
    return manifest;
}

// A refused document gives the message and leaves the earlier record as it was.
void ExpectRefused(const std::string& document, const wchar_t* expected) {
    SCOPED_TRACE(document);
    UpdateManifest manifest = Earlier();
    std::wstring message;
    EXPECT_FALSE(ReadUpdateManifest(document, manifest, message));
    EXPECT_EQ(message, expected);
    EXPECT_EQ(manifest.client_version, L"earlier");
    EXPECT_EQ(manifest.client_url, L"http://earlier/client.zip");
    EXPECT_EQ(manifest.client_size, 7u);
    EXPECT_EQ(manifest.launcher_version, L"");
}

const wchar_t* const kInvalid = L"The Hollowmere update manifest is invalid.";

TEST(ManifestRules, ReadsAllSevenFields) {
    UpdateManifest manifest = Earlier();
    std::wstring message = L"unchanged";
    ASSERT_TRUE(ReadUpdateManifest(Document(ValidFields()), manifest, message));
    EXPECT_EQ(message, L"unchanged");
    EXPECT_EQ(manifest.client_version, L"1.2.3");
    EXPECT_EQ(manifest.client_url, L"https://cdn.example/sarnhold/client.zip?sig=a%2Fb");
    EXPECT_EQ(manifest.client_size, 3400000000ull);  // more than 32 bits
    EXPECT_EQ(manifest.client_sha256, L"ABCDEF");
    EXPECT_EQ(manifest.launcher_version, L"2.0.5");
    EXPECT_EQ(manifest.launcher_url, L"https://cdn.example/launcher.exe");
    EXPECT_EQ(manifest.launcher_sha256, L"0123");

    // Any order, other fields, and a key found first inside a nested object.
    const std::string reordered =
        R"({"extra":1,"launcher_sha256":"","meta":{"client_version":"nested"},"launcher_url":"",)"
        R"("launcher_version":"","client_sha256":"","client_size":"0","client_url":"u","client_version":"top"})";
    ASSERT_TRUE(ReadUpdateManifest(reordered, manifest, message));
    EXPECT_EQ(manifest.client_version, L"nested");
    EXPECT_EQ(manifest.client_size, 0u);
    EXPECT_EQ(manifest.launcher_sha256, L"");  // empty launcher fields are accepted
}

TEST(ManifestRules, EachMissingFieldMakesItInvalid) {
    const Fields valid = ValidFields();
    for (std::size_t missing = 0; missing < valid.size(); ++missing) {
        Fields fields = valid;
        fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(missing));
        ExpectRefused(Document(fields), kInvalid);
    }
    // The size written as a JSON number is not a string field.
    std::string numeric = Document(ValidFields());
    numeric.replace(numeric.find("\"3400000000\""), 12, "3400000000");
    ExpectRefused(numeric, kInvalid);
}

TEST(ManifestRules, EmptyClientVersionOrUrlIsInvalidWithAMessage) {
    for (const char* key : {"client_version", "client_url"}) {
        for (const char* value : {"", "\xFF\xFE"}) {  // empty, or empty after conversion
            Fields fields = ValidFields();
            for (auto& field : fields)
                if (field.first == key) field.second = value;
            ExpectRefused(Document(fields), kInvalid);
        }
    }
    // Other fields that are not valid UTF-8 just become empty text.
    Fields fields = ValidFields();
    fields[3].second = "\xFF";
    UpdateManifest manifest;
    std::wstring message;
    EXPECT_TRUE(ReadUpdateManifest(Document(fields), manifest, message));
    EXPECT_EQ(manifest.client_sha256, L"");
}

TEST(ManifestRules, ClientSizeText) {
    const std::pair<const char*, std::uint64_t> accepted[] = {
        {"42", 42},
        {" 42", 42},
        {"42 x", 42},
        {"\t\n+42", 42},
        {"0", 0},
        {"007", 7},
        {"4294967296", 4294967296ull},
        {"18446744073709551615", 18446744073709551615ull},
    };
    for (const auto& sample : accepted) {
        std::uint64_t size = 1;
        EXPECT_TRUE(ParseClientSize(sample.first, size)) << sample.first;
        EXPECT_EQ(size, sample.second) << sample.first;
    }
    for (const char* text : {"", "abc", " ", "x42", "+", "- 1", "18446744073709551616", "99999999999999999999",
                             "-1", "-0"}) {
        std::uint64_t size = 99;
        EXPECT_FALSE(ParseClientSize(text, size)) << text;
        EXPECT_EQ(size, 99u) << text;
    }

    for (const char* text : {"abc", "", "18446744073709551616", "-5"}) {
        Fields fields = ValidFields();
        fields[2].second = text;
        ExpectRefused(Document(fields), L"The client download size is invalid.");
    }
}

TEST(ManifestRules, LauncherVersionComparison) {
    for (const wchar_t* newer : {L"2.0.5", L"2.1.0", L"3.0.0", L"2.0.10", L"2.0.5-beta", L" 2. 0. 5", L"+2.0.5",
                                 L"2.0.99999999999"}) {
        EXPECT_TRUE(LauncherUpdateAvailable(newer)) << newer;
    }
    for (const wchar_t* notNewer : {L"2.0.4", L"2.0.3", L"1.9.9", L"2.0", L"", L"2.0.4-beta", L"v2.0.5", L"2 .0.5",
                                    L"2..5", L"2.-1.9", L"-3.0.0", L"1.99999999999.0"}) {
        EXPECT_FALSE(LauncherUpdateAvailable(notNewer)) << notNewer;
    }
    int version[3] = {9, 9, 9};
    EXPECT_FALSE(ParseLauncherVersion(L"2.0", version));
    EXPECT_EQ(version[0], 9);  // a failed read leaves the numbers as they were
    EXPECT_TRUE(ParseLauncherVersion(L"-1.+2.3x", version));
    EXPECT_EQ(version[0], -1);
    EXPECT_EQ(version[1], 2);
    EXPECT_EQ(version[2], 3);
}

}  // namespace
