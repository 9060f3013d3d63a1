#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScriptFixture.h"
#include "framework/CFile.h"
#include "framework/Console.h"

namespace vorla::test {
namespace {

using Rows = std::vector<std::string>;
using Sql = std::vector<std::string>;

// "Executing: " + SQL and the empty line, for each SQL text.
std::string ExecutingLines(const Sql& sql) {
    std::string out;
    for (const std::string& s : sql) {
        out += "Executing: " + s + "\n\n";
    }
    return out;
}

TEST_F(ScriptTest, WorkedExampleWithoutSeparator) {
    const std::string script =
        "' customer table\n"
        "CREATE TABLE customer\n"
        "(id INTEGER,   name TEXT(40)) ' id first\n"
        "\n"
        "\n"
        "INSERT INTO customer (id) VALUES (1)\n"
        "' INSERT INTO customer (id) VALUES (2)\n"
        "INSERT INTO customer (id) VALUES (3)\n";
    // The last two INSERTs form one text, which no database takes as one
    // statement: the batch fails, and that shows they were sent together.
    const std::string joined =
        "INSERT INTO customer (id) VALUES (1) INSERT INTO customer (id) VALUES (3)";
    EXPECT_FALSE(Run(script));
    const std::vector<Chunk> expected = {
        {Stream::Out,
         ExecutingLines({"CREATE TABLE customer (id INTEGER, name TEXT(40))", joined})},
        {Stream::Err, "Script error: [SQLite]near \"INSERT\": syntax error (1)\n" + joined +
                          "\nAt line 6 of '" + m_script + "'.\n"},
    };
    EXPECT_EQ(m_capture->Chunks(), expected);
    // Printed on one line, sent as the lines say.
    EXPECT_EQ(Query("SELECT sql FROM sqlite_master WHERE name = 'customer'"),
              Rows{"CREATE TABLE customer\n(id INTEGER,   name TEXT(40))"});
    EXPECT_EQ(Query("SELECT count(*) FROM customer"), Rows{"0"});
}

TEST_F(ScriptTest, WorkedExampleWithOneCharacterSeparator) {
    const std::string script =
        "CREATE TABLE customer (id INTEGER);\n"
        "INSERT INTO customer (id) VALUES (5);\n"
        "CREATE TABLE a (x INTEGER); INSERT INTO a (x) VALUES (1);\n"
        "INSERT INTO a (x) VALUES (1);\n"
        "CREATE TABLE b (x INTEGER);\n"
        "INSERT INTO b (x) VALUES (1);\n"
        "UPDATE customer\n"
        "SET id = 0;\n"
        "DELETE FROM a; DELETE FROM b\n"
        ";\n"
        "\n";
    EXPECT_TRUE(Run(script, ";")) << m_capture->Err();
    EXPECT_EQ(m_capture->Err(), "");
    EXPECT_EQ(m_capture->Out(), ExecutingLines({
                                    "CREATE TABLE customer (id INTEGER)",
                                    "INSERT INTO customer (id) VALUES (5)",
                                    "CREATE TABLE a (x INTEGER)",
                                    "INSERT INTO a (x) VALUES (1)",
                                    "INSERT INTO a (x) VALUES (1)",
                                    "CREATE TABLE b (x INTEGER)",
                                    "INSERT INTO b (x) VALUES (1)",
                                    "UPDATE customer SET id = 0",
                                    "DELETE FROM a",
                                    "DELETE FROM b",
                                }));
    EXPECT_EQ(Query("SELECT id FROM customer"), Rows{"0"});
    EXPECT_EQ(Query("SELECT count(*) FROM a"), Rows{"0"});
    // The text after the separator on its line began the next batch.
    EXPECT_EQ(Query("SELECT count(*) FROM b"), Rows{"0"});
}

TEST_F(ScriptTest, WorkedExampleWithSeparatorLines) {
    const std::string script =
        "CREATE TABLE t (x INTEGER)\n"
        "GO\n"
        "INSERT INTO t (x)\n"
        "SELECT 1 GO\n"  // text before the separator: SQL (GO is a column alias)
        "GO ' next batch\n"
        "CREATE TABLE\n"
        "go\n"  // other case: SQL, the table's name
        "(x INTEGER)\n"
        "GO \x1a\n"
        "INSERT INTO t (x) SELECT GOTO FROM (SELECT 10 AS\n"
        "\n"       // empty lines do not end a batch when there is a separator
        "GOTO)\n"  // separator followed by other characters: SQL
        "  GO  \n"
        "GO\n";  // a second separator line in a row sends nothing
    EXPECT_TRUE(Run(script, "GO")) << m_capture->Err();
    EXPECT_EQ(m_capture->Err(), "");
    EXPECT_EQ(Executed(), (Sql{
                              "CREATE TABLE t (x INTEGER)",
                              "INSERT INTO t (x) SELECT 1 GO",
                              "CREATE TABLE go (x INTEGER)",
                              "INSERT INTO t (x) SELECT GOTO FROM (SELECT 10 AS GOTO)",
                          }));
    EXPECT_EQ(Query("SELECT x FROM t ORDER BY x"), (Rows{"1", "10"}));
    EXPECT_EQ(Query("SELECT name FROM sqlite_master WHERE name = 'go'"), Rows{"go"});
}

TEST_F(ScriptTest, FailingSecondBatchStopsTheScript) {
    const std::string script =
        "CREATE TABLE t (x INTEGER)\n"
        "\n"
        "INSERT INTO nosuch VALUES (1)\n"
        "\n"
        "INSERT INTO t VALUES (3)\n";
    EXPECT_FALSE(Run(script));
    const std::vector<Chunk> expected = {
        {Stream::Out,
         ExecutingLines({"CREATE TABLE t (x INTEGER)", "INSERT INTO nosuch VALUES (1)"})},
        {Stream::Err,
         "Script error: [SQLite]no such table: nosuch (1)\nINSERT INTO nosuch VALUES (1)\n"
         "At line 3 of '" +
             m_script + "'.\n"},
    };
    EXPECT_EQ(m_capture->Chunks(), expected);
    EXPECT_EQ(Query("SELECT count(*) FROM t"), Rows{"0"});
    // The file was closed on the way out: it can be opened exclusively again.
    CFile file;
    EXPECT_TRUE(file.Open(m_script.c_str(), CFile::modeRead));
}

struct FileCase {
    const char* name;
    std::string script;
};

// The shapes a script file may have on disk. Each holds a CREATE TABLE and an
// INSERT as two batches; both must reach the database.
TEST_F(ScriptTest, ScriptFileShapes) {
    const std::vector<FileCase> cases = {
        {"LF", "CREATE TABLE t (x INTEGER)\n\nINSERT INTO t VALUES (1)\n"},
        {"CR LF", "CREATE TABLE t (x INTEGER)\r\n\r\nINSERT INTO t VALUES (1)\r\n"},
        {"CR alone", "CREATE TABLE t (x INTEGER)\r\rINSERT INTO t VALUES (1)\r"},
        {"no final line end", "CREATE TABLE t (x INTEGER)\n\nINSERT INTO t VALUES (1)"},
        {"UTF-8 byte-order mark",
         "\xEF\xBB\xBF"
         "CREATE TABLE t (x INTEGER)\n\nINSERT INTO t VALUES (1)\n"},
        {"byte-order mark before a comment",
         "\xEF\xBB\xBF' header\nCREATE TABLE t (x INTEGER)\n\nINSERT INTO t VALUES (1)\n"},
    };
    for (const FileCase& c : cases) {
        EXPECT_TRUE(Run("DROP TABLE IF EXISTS t")) << c.name;
        EXPECT_TRUE(Run(c.script)) << c.name << ": " << m_capture->Err();
        EXPECT_EQ(Executed(), (Sql{"CREATE TABLE t (x INTEGER)", "INSERT INTO t VALUES (1)"}))
            << c.name;
        EXPECT_EQ(Query("SELECT x FROM t"), Rows{"1"}) << c.name;
    }
}

// Past the first block, where a NUL byte marks a file that is no text.
TEST_F(ScriptTest, NulByteIsPrintedWithEverythingAfterIt) {
    const std::string line("CREATE TABLE t (x INTEGER)\0 after", 33);
    EXPECT_TRUE(Run("' " + std::string(5000, '-') + "\n" + line + "\n")) << m_capture->Err();
    // The whole line, NUL included, is printed: what is executed is never
    // longer than what the user sees.
    EXPECT_EQ(m_capture->Out(), "Executing: " + line + "\n\n");
    EXPECT_EQ(Query("SELECT name FROM sqlite_master"), Rows{"t"});
}

TEST_F(ScriptTest, TenMegabyteLine) {
    const std::string filler(10 * 1024 * 1024, 'x');
    const std::string sql = "CREATE TABLE t (x INTEGER /*" + filler + "*/)";
    EXPECT_TRUE(Run("\n" + sql + "\n\n")) << m_capture->Err().substr(0, 200);
    ASSERT_EQ(Executed().size(), 1u);
    EXPECT_TRUE(Executed()[0] == sql);
    EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master WHERE name = 't'"), Rows{"1"});
}

// A folder given as the script says so.
TEST_F(ScriptTest, FolderAsScriptSaysSo) {
    m_cmd.m_strCommandFile = m_dir.Path().c_str();
    StreamCapture capture;
    {
        CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
        EXPECT_FALSE(m_cmd.RunScript());
    }
    EXPECT_EQ(capture.Err(), "Cannot open file '" + m_dir.Path() +
                                 "' for reading\nThe script cannot be read: it is a folder, not "
                                 "a file.\n");
}

TEST_F(ScriptTest, MissingScriptFile) {
    const std::string missing = m_dir.File("missing.sql");
    m_cmd.m_strCommandFile = missing.c_str();
    StreamCapture capture;
    {
        CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
        EXPECT_FALSE(m_cmd.RunScript());
    }
    EXPECT_EQ(
        capture.Chunks(),
        (std::vector<Chunk>{{Stream::Err, "Cannot open file '" + missing +
                                              "' for reading\nThe script cannot be read: it does "
                                              "not exist.\n"}}));
}

// The script is read denying writers only: another run reading it does not
// stop this one, a program holding it for itself or writing it does.
TEST_F(ScriptTest, ScriptIsSharedWithReadersNotWriters) {
    const struct {
        UINT holderMode;
        bool runs;
    } rows[] = {
        {CFile::modeRead | CFile::shareDenyWrite, true},
        {CFile::modeRead | CFile::shareDenyNone, true},
        {CFile::modeRead, false},
        {CFile::modeWrite | CFile::shareDenyNone, false},
    };
    int table = 0;
    for (const auto& row : rows) {
        WriteFileBytes(m_script, "CREATE TABLE t" + std::to_string(++table) + " (x INTEGER)\n");
        CFile holder;
        ASSERT_TRUE(holder.Open(m_script.c_str(), row.holderMode));
        m_cmd.m_strCommandFile = m_script.c_str();
        StreamCapture capture;
        {
            CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
            EXPECT_EQ(m_cmd.RunScript() != FALSE, row.runs) << row.holderMode;
        }
        EXPECT_EQ(capture.Err(),
                  row.runs ? ""
                           : "Cannot open file '" + m_script +
                                 "' for reading\nThe script cannot be read: another program has "
                                 "it open.\n");
    }
    EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master"), Rows{"2"});
}

// A script in UTF-16 or UTF-32, or no text at all, is refused with a line
// that says so, before anything reaches the database.
TEST_F(ScriptTest, ScriptsThatAreNotTextTheReaderTakesAreRefused) {
    const std::string utf16le(
        "\xFF\xFES\0E\0L\0E\0C\0T\0 \0"
        "1\0",
        18);
    const struct {
        std::string bytes;
        const char* says;
    } rows[] = {
        {utf16le, "is in UTF-16 (little-endian)"},
        {std::string("\xFE\xFF\0S\0E", 6), "is in UTF-16 (big-endian)"},
        {std::string("\xFF\xFE\0\0S\0\0\0", 8), "is in UTF-32 (little-endian)"},
        {std::string("\0\0\xFE\xFF\0\0\0S", 8), "is in UTF-32 (big-endian)"},
        {std::string("CREATE TABLE t (x)\n\0\x01\x02", 22), "is not text"},
    };
    for (const auto& row : rows) {
        WriteFileBytes(m_script, row.bytes);
        m_cmd.m_strCommandFile = m_script.c_str();
        StreamCapture capture;
        {
            CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
            EXPECT_FALSE(m_cmd.RunScript());
        }
        EXPECT_EQ(capture.Err().rfind("The script '" + m_script + "' " + row.says, 0), 0u)
            << capture.Err();
        EXPECT_EQ(capture.Out(), "");
    }
    EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master"), Rows{"0"});
}

TEST_F(ScriptTest, ReadErrorIsReportedOnTwoLines) {
    // Reading a process's memory at address 0 fails with an I/O error.
    const char* path = "/proc/self/mem";
    {
        CFile probe;
        if (!probe.Open(path, CFile::modeRead)) {
            GTEST_SKIP() << "no /proc/self/mem to provoke a read error with";
        }
    }
    m_cmd.m_strCommandFile = path;
    StreamCapture capture;
    {
        CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
        EXPECT_FALSE(m_cmd.RunScript());
    }
    EXPECT_EQ(capture.Err(),
              "I/O ERROR: File read error for command file\n" + std::string(path) + ".\n");
    EXPECT_EQ(capture.Out(), "");
}

// Included files are read in their places, :r's from the including file's
// folder and SQLite's .read from the current directory; refused at the
// include line, in its file, when missing, when being read already, or
// nested too deep.
TEST_F(ScriptTest, IncludedFilesAreReadInTheirPlaces) {
    struct Case {
        const char* name;
        bool standard;
        std::vector<std::pair<std::string, std::string>> files;
        std::string script;
        Sql executed;
        std::string err;
    };
    const std::string dir = m_dir.File("");
    std::vector<std::pair<std::string, std::string>> chain;
    for (int i = 0; i <= 16; ++i) {
        chain.emplace_back("f" + std::to_string(i) + ".sql",
                           ":r f" + std::to_string(i + 1) + ".sql\n");
    }
    const std::string rest = "; nothing from it on is run\n";
    const Case cases[] = {
        {":r nests, from each file's folder",
         false,
         {{"sub/a.sql", "INSERT INTO t VALUES (2)\nGO\n:r b.sql\n"},
          {"sub/b.sql", "INSERT INTO t VALUES (3)\n"}},
         "CREATE TABLE t (x INTEGER)\nGO\n:r sub/a.sql\nGO\nSELECT 4\nGO\n",
         {"CREATE TABLE t (x INTEGER)", "INSERT INTO t VALUES (2)", "INSERT INTO t VALUES (3)",
          "SELECT 4"},
         ""},
        {".read with -a on SQLite",
         true,
         {{"r.sql", "INSERT INTO u VALUES (5);\n"}},
         "CREATE TABLE u (x INTEGER);\n.read '" + dir + "r.sql'\nSELECT 6;\n",
         {"CREATE TABLE u (x INTEGER)", "INSERT INTO u VALUES (5)", "SELECT 6"},
         ""},
        {"a missing file",
         false,
         {},
         "SELECT 1\nGO\n:r nope.sql\n",
         {"SELECT 1"},
         "Script error: line 3: the included file '" + dir +
             "nope.sql' cannot be read: it does not exist" + rest + ":r nope.sql\n"},
        {"a file that includes the script",
         false,
         {{"a.sql", "SELECT 2\nGO\n:r script.sql\n"}},
         ":r a.sql\n",
         {"SELECT 2"},
         "Script error: line 3 of '" + dir + "a.sql': '" + dir +
             "script.sql' is being read already (" + m_script + " -> " + dir + "a.sql -> " + dir +
             "script.sql)" + rest + ":r script.sql\n"},
        {"nested too deep",
         false,
         chain,
         ":r f0.sql\n",
         {},
         "Script error: line 1 of '" + dir +
             "f15.sql': included files nest more than 16 deep here" + rest + ":r f16.sql\n"},
    };
    for (const Case& c : cases) {
        for (const auto& [name, text] : c.files) {
            std::filesystem::create_directories(
                std::filesystem::path(m_dir.File(name)).parent_path());
            WriteFileBytes(m_dir.File(name), text);
        }
        m_cmd.m_bStandardSql = c.standard;
        Run(c.script, c.standard ? "" : "GO");
        EXPECT_EQ(Executed(), c.executed) << c.name;
        EXPECT_EQ(m_capture->Err(), c.err) << c.name;
    }
}

}  // namespace
}  // namespace vorla::test
