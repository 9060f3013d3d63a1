#include "framework/ConnectString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ParseCase {
    const char* text;
    // name=value pieces as parsed, value as written; "name" alone for a piece
    // without '='.
    std::vector<std::string> expected;
};

std::vector<std::string> Describe(const CConnectAttributes& attributes) {
    std::vector<std::string> pieces;
    for (const CConnectAttribute& a : attributes) {
        pieces.push_back(a.m_bHasValue ? a.m_strName.Str() + "=" + a.m_strValue.Str()
                                       : a.m_strName.Str());
    }
    return pieces;
}

TEST(ConnectStringTest, ParsesAttributes) {
    const std::vector<ParseCase> cases = {
        {"", {}},
        {"DSN=a", {"DSN=a"}},
        {"DSN=a;UID=;PWD=", {"DSN=a", "UID=", "PWD="}},
        {"DSN=a;;UID=u;", {"DSN=a", "UID=u"}},
        {" DSN = a b ;X=1", {"DSN= a b ", "X=1"}},
        {"PWD={se;cr=et};UID=u", {"PWD={se;cr=et}", "UID=u"}},
        {"PWD={a}}b;c};X=1", {"PWD={a}}b;c}", "X=1"}},
        {"PWD={open;X=1", {"PWD={open;X=1"}},
        {"FIL=MS Access;DriverId=25", {"FIL=MS Access", "DriverId=25"}},
        {"loose;DSN=a", {"loose", "DSN=a"}},
        {"A=b=c", {"A=b=c"}},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(Describe(AfxParseConnectString(c.text)), c.expected) << c.text;
    }
}

TEST(ConnectStringTest, UnquotesAndQuotesValues) {
    struct Case {
        const char* plain;
        const char* written;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"with space", "with space"},
        {"se;cret", "{se;cret}"},
        {"a}b", "{a}}b}"},
        {"{x", "{{x}"},
        {" lead", "{ lead}"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AfxQuoteConnectValue(c.plain), c.written) << c.plain;
        CConnectAttribute attribute;
        attribute.m_strValue = c.written;
        EXPECT_EQ(attribute.Unquoted(), c.plain) << c.written;
        // What is quoted survives a round trip through a connection string.
        const CConnectAttributes parsed =
            AfxParseConnectString(CString("K=") + AfxQuoteConnectValue(c.plain) + ";Z=1");
        ASSERT_EQ(parsed.size(), 2u) << c.plain;
        EXPECT_EQ(parsed[0].Unquoted(), c.plain);
    }
}

TEST(ConnectStringTest, FindsNamesWithoutRegardToCase) {
    const CConnectAttributes attributes = AfxParseConnectString("dsn=a;Dbq=f;loose;DBQ=g");
    ASSERT_NE(AfxFindConnectAttribute(attributes, "DSN"), nullptr);
    EXPECT_EQ(AfxFindConnectAttribute(attributes, "DBQ")->m_strValue, "f");
    EXPECT_EQ(AfxFindConnectAttribute(attributes, "loose"), nullptr);
    EXPECT_EQ(AfxFindConnectAttribute(attributes, "UID"), nullptr);
    EXPECT_EQ(AfxJoinConnectString(attributes), "dsn=a;Dbq=f;loose;DBQ=g");
}

}  // namespace
