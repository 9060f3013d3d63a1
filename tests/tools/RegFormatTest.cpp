#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegArgs.h"
#include "RegData.h"
#include "Regedit4.h"

namespace vorlareg {
namespace {

using std::string;

struct KeyRow {
    const char* pszText;
    bool bValid;
    const char* pszFullName;
};

TEST(RegArgsTest, KeyNamesTakeFullAndShortRootsInAnyCase) {
    const std::vector<KeyRow> rows = {
        {"HKCU\\Software\\X", true, "HKEY_CURRENT_USER\\Software\\X"},
        {"hkcu\\Software\\X\\", true, "HKEY_CURRENT_USER\\Software\\X"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE", true, "HKEY_LOCAL_MACHINE\\SOFTWARE"},
        {"Hkey_Classes_Root\\.dds", true, "HKEY_CLASSES_ROOT\\.dds"},
        {"HKLM", true, "HKEY_LOCAL_MACHINE"},
        {"HKU\\.DEFAULT", true, "HKEY_USERS\\.DEFAULT"},
        {"HKCC\\System", true, "HKEY_CURRENT_CONFIG\\System"},
        {"HKEY_CURRENT_CONFIG", true, "HKEY_CURRENT_CONFIG"},
        {"\\\\BOX\\HKLM\\SOFTWARE", true, "\\\\BOX\\HKEY_LOCAL_MACHINE\\SOFTWARE"},
        {"HKXX\\Software", false, ""},
        {"Software\\X", false, ""},
        {"", false, ""},
        {"\\\\BOX", false, ""},
    };
    for (const KeyRow& row : rows) {
        KeySpec key;
        EXPECT_EQ(ParseKeySpec(row.pszText, key), row.bValid) << row.pszText;
        if (row.bValid) {
            EXPECT_EQ(key.FullName(), row.pszFullName) << row.pszText;
        }
    }
}

struct ArgsRow {
    std::vector<string> args;
    ArgError error;
};

TEST(RegArgsTest, SyntaxOfEachVerb) {
    const std::vector<ArgsRow> rows = {
        {{}, ArgError::syntax},
        {{"/?"}, ArgError::none},
        {{"-h"}, ArgError::none},
        {{"query", "/?"}, ArgError::none},
        {{"copy", "HKCU\\X"}, ArgError::syntax},
        {{"query"}, ArgError::syntax},
        {{"query", "HKCU\\X", "/v", "a", "/ve"}, ArgError::syntax},
        {{"query", "HKCU\\X", "/v"}, ArgError::syntax},
        {{"query", "HKCU\\X", "/V", "a", "/S"}, ArgError::none},
        {{"query", "HKCU\\X", "/va"}, ArgError::syntax},
        {{"query", "HKCU\\X", "/f"}, ArgError::syntax},
        {{"query", "BAD\\X"}, ArgError::keyName},
        {{"add", "HKCU\\X", "-v", "a", "-t", "REG_DWORD", "-d", "1", "-f"}, ArgError::none},
        {{"add", "HKCU\\X", "/v", "a", "/v", "b"}, ArgError::syntax},
        {{"add", "HKCU\\X", "/s", "ab"}, ArgError::syntax},
        {{"add", "HKCU\\X", "/s", ","}, ArgError::none},
        {{"delete", "HKCU\\X", "/va", "/f"}, ArgError::none},
        {{"delete", "HKCU\\X", "/va", "/v", "a"}, ArgError::syntax},
        {{"delete", "HKCU\\X", "/y"}, ArgError::syntax},
        {{"export", "HKCU\\X"}, ArgError::syntax},
        {{"export", "HKCU\\X", "/tmp/out.reg", "/y"}, ArgError::none},
        {{"export", "HKCU\\X", "/y"}, ArgError::syntax},
        {{"import", "/tmp/in.reg"}, ArgError::none},
        {{"import"}, ArgError::syntax},
        {{"import", "a.reg", "b.reg"}, ArgError::syntax},
    };
    for (const ArgsRow& row : rows) {
        string line;
        for (const string& arg : row.args) {
            line += arg + " ";
        }
        RegArgs parsed;
        EXPECT_EQ(ParseArgs(row.args, parsed), row.error) << line;
    }
}

TEST(RegArgsTest, ExportKeepsAnAbsoluteFileNameAndAddKeepsDataThatLooksLikeAnOption) {
    RegArgs parsed;
    ASSERT_EQ(ParseArgs({"export", "HKCU\\X", "/tmp/out.reg"}, parsed), ArgError::none);
    EXPECT_EQ(parsed.strFile, "/tmp/out.reg");
    ASSERT_EQ(ParseArgs({"add", "HKCU\\X", "/v", "p", "/d", "/usr/lib"}, parsed), ArgError::none);
    EXPECT_EQ(parsed.strData, "/usr/lib");
}

struct DataRow {
    const char* pszType;
    string input;
    string separator;
    bool bValid;
    string bytes;
    string shown;
};

TEST(RegDataTest, AddDataToBytesAndBackToTheQueryColumn) {
    const std::vector<DataRow> rows = {
        {"REG_SZ", "hello", "", true, string("hello\0", 6), "hello"},
        {"reg_sz", "", "", true, string("\0", 1), ""},
        {"REG_EXPAND_SZ", "%PATH%", "", true, string("%PATH%\0", 7), "%PATH%"},
        {"REG_DWORD", "0x1F", "", true, string("\x1f\0\0\0", 4), "0x1f"},
        {"REG_DWORD", "4294967295", "", true, string("\xff\xff\xff\xff", 4), "0xffffffff"},
        {"REG_DWORD", "4294967296", "", false, "", ""},
        {"REG_DWORD", "12abc", "", false, "", ""},
        {"REG_DWORD", "-1", "", false, "", ""},
        {"REG_DWORD", "", "", true, string(4, '\0'), "0x0"},
        {"REG_QWORD", "0x100000000", "", true, string("\0\0\0\0\1\0\0\0", 8), "0x100000000"},
        {"REG_BINARY", "01fF", "", true, string("\x01\xff", 2), "01FF"},
        {"REG_BINARY", "abc", "", true, string("\x0a\xbc", 2), "0ABC"},
        {"REG_BINARY", "zz", "", false, "", ""},
        {"REG_NONE", "", "", true, "", ""},
        {"REG_MULTI_SZ", "a\\0bc", "", true, string("a\0bc\0\0", 6), "a\\0bc"},
        {"REG_MULTI_SZ", "a,bc", ",", true, string("a\0bc\0\0", 6), "a\\0bc"},
        {"REG_MULTI_SZ", "", "", true, string("\0", 1), ""},
    };
    for (const DataRow& row : rows) {
        DWORD type = 0;
        ASSERT_TRUE(TypeFromName(row.pszType, type)) << row.pszType;
        string bytes;
        EXPECT_EQ(ParseData(type, row.input, row.separator, bytes), row.bValid)
            << row.pszType << " " << row.input;
        if (row.bValid) {
            EXPECT_EQ(bytes, row.bytes) << row.pszType << " " << row.input;
            EXPECT_EQ(FormatData(type, bytes), row.shown) << row.pszType << " " << row.input;
        }
    }
}

TEST(RegDataTest, TypeNames) {
    DWORD type = 0;
    EXPECT_FALSE(TypeFromName("REG_LINK", type));
    EXPECT_FALSE(TypeFromName("SZ", type));
    EXPECT_EQ(TypeName(REG_MULTI_SZ), "REG_MULTI_SZ");
    EXPECT_EQ(TypeName(REG_QWORD), "REG_QWORD");
    EXPECT_EQ(TypeName(0x1234), "REG_UNKNOWN");
}

TEST(RegDataTest, ShownDataNeverReadsPastTheValue) {
    EXPECT_EQ(FormatData(REG_SZ, "abc"), "abc");                  // no NUL
    EXPECT_EQ(FormatData(REG_DWORD, string(3, '\1')), "010101");  // short number as hex
    EXPECT_EQ(FormatData(REG_MULTI_SZ, string("a\0b", 3)), "a");
}

TEST(Regedit4Test, WriterLayout) {
    Regedit4Writer writer;
    writer.Key("HKEY_CURRENT_USER\\Software\\X");
    writer.Value("", true, REG_SZ, string("C:\\\"q\"\0", 7));
    writer.Value("n", false, REG_DWORD, string("\x2a\0\0\0", 4));
    writer.Value("t", false, REG_SZ, string("two\0nuls\0", 9));
    writer.Value("e", false, REG_BINARY, "");
    writer.Key("HKEY_CURRENT_USER\\Software\\X\\Sub");
    EXPECT_EQ(writer.Finish(),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\X]\r\n"
              "@=\"C:\\\\\\\"q\\\"\"\r\n"
              "\"n\"=dword:0000002a\r\n"
              "\"t\"=hex(1):74,77,6f,00,6e,75,6c,73,00\r\n"
              "\"e\"=hex:\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\X\\Sub]\r\n"
              "\r\n");
}

TEST(Regedit4Test, ReaderTakesLfLinesCommentsContinuationsAndDeletions) {
    const string script =
        "REGEDIT4\n"
        "; a comment\n"
        "[-HKEY_CURRENT_USER\\Old]\n"
        "[HKEY_CURRENT_USER\\New]\n"
        "\"list\"=hex(7):61,00,\\\n"
        "  62,00,00\n"
        "\"gone\"=-\n"
        "@=\"text with \\\"quotes\\\"\"\n"
        "\"n\"=dword:ff\n";
    std::vector<Regedit4Entry> entries;
    int line = -1;
    ASSERT_TRUE(ReadRegedit4(script, entries, line));
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].kind, Regedit4Entry::Kind::removeKey);
    EXPECT_EQ(entries[0].strKeyPath, "HKEY_CURRENT_USER\\Old");
    EXPECT_EQ(entries[1].kind, Regedit4Entry::Kind::key);
    EXPECT_EQ(entries[2].dwType, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(entries[2].strBytes, string("a\0b\0\0", 5));
    EXPECT_EQ(entries[2].strKeyPath, "HKEY_CURRENT_USER\\New");
    EXPECT_EQ(entries[3].kind, Regedit4Entry::Kind::removeValue);
    EXPECT_EQ(entries[3].strName, "gone");
    EXPECT_TRUE(entries[4].bDefault);
    EXPECT_EQ(entries[4].strBytes, string("text with \"quotes\"\0", 19));
    EXPECT_EQ(entries[5].strBytes, string("\xff\0\0\0", 4));
}

struct BadScriptRow {
    const char* pszCase;
    string script;
    int nLine;
};

TEST(Regedit4Test, ReaderNamesTheOffendingLine) {
    const std::vector<BadScriptRow> rows = {
        {"no header", "[HKEY_CURRENT_USER\\X]\n", 1},
        {"empty file", "", 1},
        {"value before any key", "REGEDIT4\n\n\"a\"=\"b\"\n", 3},
        {"unclosed key", "REGEDIT4\n[HKEY_CURRENT_USER\\X\n", 2},
        {"bad dword", "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:123456789\n", 3},
        {"bad hex", "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex:1,2g\n", 3},
        {"unquoted name", "REGEDIT4\n[HKEY_CURRENT_USER\\X]\na=\"b\"\n", 3},
        {"unclosed text", "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\n", 3},
        {"value after a removed key", "REGEDIT4\n[-HKEY_CURRENT_USER\\X]\n\"a\"=\"b\"\n", 3},
    };
    for (const BadScriptRow& row : rows) {
        std::vector<Regedit4Entry> entries;
        int line = 0;
        EXPECT_FALSE(ReadRegedit4(row.script, entries, line)) << row.pszCase;
        EXPECT_EQ(line, row.nLine) << row.pszCase;
    }
}

}  // namespace
}  // namespace vorlareg
