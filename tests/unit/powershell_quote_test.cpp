#include <gtest/gtest.h>

#include "install/powershell_quote.h"

namespace {

TEST(QuotePowerShellLiteral, DoublesEveryKindOfSingleQuote) {
    EXPECT_EQ(QuotePowerShellLiteral(L""), L"''");
    EXPECT_EQ(QuotePowerShellLiteral(L"D:\\Games\\Tom's"), L"'D:\\Games\\Tom''s'");
    EXPECT_EQ(QuotePowerShellLiteral(L"a\u2018b\u2019c\u201Ad\u201Be"),
              L"'a\u2018\u2018b\u2019\u2019c\u201A\u201Ad\u201B\u201Be'");
    EXPECT_EQ(QuotePowerShellLiteral(L"$(Remove-Item x) \"q\" `n"), L"'$(Remove-Item x) \"q\" `n'");
}

TEST(BuildExpandArchiveParameters, PutsBothQuotedPathsIntoOneCommandText) {
    EXPECT_EQ(BuildExpandArchiveParameters(L"C:\\Data\\client.zip", L"D:\\Games\\Tom's"),
              L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"Expand-Archive -LiteralPath "
              L"'C:\\Data\\client.zip' -DestinationPath 'D:\\Games\\Tom''s' -Force\"");
    EXPECT_EQ(BuildExpandArchiveParameters(L"", L"E:\\\u2019x"),
              L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"Expand-Archive -LiteralPath '' "
              L"-DestinationPath 'E:\\\u2019\u2019x' -Force\"");
}

}  // namespace
