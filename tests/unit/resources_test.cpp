#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "resources/resource_ids.h"
#include "support/test_files.h"

namespace {

std::string Resource(LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceW(nullptr, name, type);
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(nullptr, found);
    const DWORD size = SizeofResource(nullptr, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes ? std::string(bytes, size) : std::string();
}

TEST(Resources, DefaultOptionsTextIsByteExact) {
    const std::string text = Resource(RT_RCDATA, MAKEINTRESOURCEW(IDR_DEFAULT_OPTIONS));
    ASSERT_EQ(text.size(), 2773u);
    size_t lines = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\r' && text[i + 1] == '\n') ++lines;
    }
    EXPECT_EQ(lines, 80u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 80);  // no bare line feeds
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_TRUE(text == DefaultOptionsText());  // the source file the game options tests edit
}

TEST(Resources, ManifestAsksForCommonControls6AndAsInvoker) {
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

}  // namespace
