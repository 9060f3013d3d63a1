#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/ErrorPlace.h"
#include "script/ScriptReader.h"

namespace vorla::test {
namespace {

struct Sent {
    std::string sql;
    std::string shown;
    bool operator==(const Sent& o) const { return sql == o.sql && shown == o.shown; }
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    return os << "{sql: \"" << s.sql << "\", shown: \"" << s.shown << "\"}";
}

// Feeds the script, split at line feeds, and collects every batch.
using Dialect = CScriptReader::Dialect;

// A refusal is shown as its reason after "refused: ", with what was refused.
std::vector<Sent> Read(const std::string& script, const char* separator, bool omitComments = false,
                       bool standard = false, Dialect dialect = Dialect::Other) {
    CScriptReader reader(separator);
    reader.OmitCommentsOutsideDefinitions(omitComments);
    if (standard) {
        reader.UseStandardSql(dialect);
    }
    std::vector<Sent> sent;
    const auto drain = [&] {
        while (const CScriptBatch* next = reader.NextBatch()) {
            const CScriptBatch& batch = *next;
            const std::string failure = batch.failure.Str();
            sent.push_back(
                {failure.empty() ? batch.sql.Str() : "refused: " + failure, batch.shown.Str()});
        }
    };
    size_t begin = 0;
    while (begin < script.size()) {
        size_t end = script.find('\n', begin);
        if (end == std::string::npos) {
            end = script.size();
        }
        reader.AddLine(CString(script.substr(begin, end - begin)));
        drain();
        begin = end + 1;
    }
    reader.Finish();
    drain();
    return sent;
}

// A batch whose printed form is its text.
Sent Same(const std::string& sql) {
    return {sql, sql};
}

struct ReaderCase {
    const char* name;
    const char* separator;
    std::string script;
    std::vector<Sent> expected;
};

TEST(ScriptReader, LinesBecomeBatches) {
    const std::vector<ReaderCase> cases = {
        // The line rules.
        {"worked example without a separator",
         "",
         "' customer table\nCREATE TABLE customer\n(id INTEGER,   name TEXT(40)) ' id first\n\n\n"
         "INSERT INTO c VALUES (1)\n' INSERT INTO c VALUES (2)\nINSERT INTO c VALUES (3)\n",
         {{"CREATE TABLE customer\n(id INTEGER,   name TEXT(40))",
           "CREATE TABLE customer (id INTEGER, name TEXT(40))"},
          {"INSERT INTO c VALUES (1)\nINSERT INTO c VALUES (3)",
           "INSERT INTO c VALUES (1) INSERT INTO c VALUES (3)"}}},
        {"empty script", "", "", {}},
        {"only comments and blanks", "", "' one\n\n   ' two\n\t\n", {}},
        {"comment cut keeps a tab before it",
         "",
         "SELECT 1\t'x\n+ 2\n",
         {{"SELECT 1\t\n+ 2", "SELECT 1\t+ 2"}}},
        {"lines keep their blanks inside the batch only",
         "",
         "  \tSELECT 1  \n    + 2  \n",
         {{"SELECT 1  \n    + 2", "SELECT 1 + 2"}}},
        {"one-character separator, empty lines join",
         ";",
         "UPDATE c\n\nSET id = 0;\n;\n;\n",
         {{"UPDATE c\n\nSET id = 0", "UPDATE c SET id = 0"}}},
        {"separator inside a cut comment does not count",
         ";",
         "SELECT 1 ';\n+ 2;",
         {{"SELECT 1 \n+ 2", "SELECT 1 + 2"}}},
        {"separator lines",
         "GO",
         "SELECT 1 GO\nGO ' next\nSELECT\ngo\nGO \x1a\x01\nSELECT 2 AS\nGOx\nGo\n\n  GO  \nGO\n",
         {Same("SELECT 1 GO"),
          {"SELECT\ngo", "SELECT go"},
          {"SELECT 2 AS\nGOx\nGo", "SELECT 2 AS GOx Go"}}},
        {"longer separator",
         "END;",
         "SELECT 1\nEND;\nSELECT 2\n",
         {Same("SELECT 1"), Same("SELECT 2")}},
        // The line is trimmed and cut at the comment marker before the
        // separator is looked for.
        {"a tab separator that only indents", "\t", "SELECT\n\t1\n", {{"SELECT\n\t1", "SELECT 1"}}},
        {"a blank separator at a line's ends",
         " ",
         "SELECT  \n  1\n",
         {{"SELECT  \n  1", "SELECT 1"}}},
        {"a separator that ends in a blank",
         "GO ",
         "SELECT 1\nGO ' next\nSELECT 2\nGO \n",
         {Same("SELECT 1"), {"SELECT 2\nGO", "SELECT 2 GO"}}},
        {"a separator that holds the comment marker",
         "G'O",
         "SELECT 1\nG'O\nSELECT 2\n",
         {{"SELECT 1\nG\nSELECT 2", "SELECT 1 G SELECT 2"}}},
        {"byte-order mark before a comment line",
         "",
         "\xEF\xBB\xBF' header\nSELECT 1\n",
         {Same("SELECT 1")}},
        // What the script says is what is sent.
        {"blanks inside a text",
         "GO",
         "INSERT INTO t VALUES (1, \"Two  spaces\")\nGO\n",
         {{"INSERT INTO t VALUES (1, \"Two  spaces\")",
           "INSERT INTO t VALUES (1, \"Two spaces\")"}}},
        {"a text spanning lines keeps the blanks at its line ends",
         "GO",
         "INSERT INTO t VALUES (\"one  \n  two\n\nthree \")\nGO\n",
         {{"INSERT INTO t VALUES (\"one  \n  two\n\nthree \")",
           "INSERT INTO t VALUES (\"one two three \")"}}},
        {"several statements on one line",
         ";",
         "BEGIN; INSERT INTO t VALUES (3); COMMIT;\nINSERT INTO t VALUES (1);INSERT INTO t VALUES "
         "(2);",
         {Same("BEGIN"), Same("INSERT INTO t VALUES (3)"), Same("COMMIT"),
          Same("INSERT INTO t VALUES (1)"), Same("INSERT INTO t VALUES (2)")}},
        // Texts and comments are opaque.
        {"apostrophe in a block comment",
         ";",
         "/* close Bob's account */\nDELETE FROM a WHERE id = 2;\n",
         {{"/* close Bob's account */\nDELETE FROM a WHERE id = 2",
           "/* close Bob's account */ DELETE FROM a WHERE id = 2"}}},
        {"separator in a line comment",
         ";",
         "DELETE FROM a -- only closed accounts; see ticket 42\nWHERE id = 2;\n",
         {{"DELETE FROM a -- only closed accounts; see ticket 42\nWHERE id = 2",
           "DELETE FROM a -- only closed accounts; see ticket 42 WHERE id = 2"}}},
        {"separator and apostrophe in a text, doubled quote",
         ";",
         "INSERT INTO a VALUES (1, \"x;y\", \"it's\", \"say \"\"hi;\"\"\");\n",
         {Same("INSERT INTO a VALUES (1, \"x;y\", \"it's\", \"say \"\"hi;\"\"\")")}},
        {"blank line inside a block comment",
         "",
         "SELECT 1 /* one\n\n' two */ + 2\n\nSELECT 3\n",
         {{"SELECT 1 /* one\n\n' two */ + 2", "SELECT 1 /* one ' two */ + 2"}, Same("SELECT 3")}},
        {"separator line and comment line inside a text",
         "GO",
         "SELECT \"a\nGO\n' b\"\nGO\n",
         {{"SELECT \"a\nGO\n' b\"", "SELECT \"a GO ' b\""}}},
        {"block comment around the separator",
         ";",
         "SELECT 1 /* ; */ + 2; /* spans\nlines; */ SELECT 3;",
         {{"SELECT 1 /* ; */ + 2", "SELECT 1 /* ; */ + 2"},
          {"/* spans\nlines; */ SELECT 3", "/* spans lines; */ SELECT 3"}}},
        // A rest of blanks and comments adds nothing; a batch of comments is
        // neither printed nor sent.
        {"comments after a separator",
         ";",
         "SELECT 1; -- one\nSELECT 2; /* two */ ' three\nSELECT 3;   \n",
         {Same("SELECT 1"), Same("SELECT 2"), Same("SELECT 3")}},
        {"batches of comments only",
         "",
         "-- header\n/* more\n\n*/\n\nSELECT 1 -- it's one\n\n-- trailer\n",
         {{"SELECT 1 -- it's one", "SELECT 1 -- it's one"}}},
        {"comments before a separator", ";", "-- x;\n/* y */;\nSELECT 1;", {Same("SELECT 1")}},
    };
    for (const ReaderCase& c : cases) {
        EXPECT_EQ(Read(c.script, c.separator), c.expected) << c.name;
    }
}

// For the SQLite driver: comments leave only statements that hold a `;` and
// do not begin with a word of definition, and only what is sent changes.
TEST(ScriptReader, CommentsLeftOutWhereTheDriverSplitsAtSemicolons) {
    const std::vector<ReaderCase> cases = {
        {"a separator in a line comment",
         ";",
         "DELETE FROM a -- closed; see 42\nWHERE id = 2; -- after\n",
         {{"DELETE FROM a  \nWHERE id = 2", "DELETE FROM a -- closed; see 42 WHERE id = 2"}}},
        {"a semicolon before a comment, a block comment across lines",
         "GO",
         "/* one;\n two */ SELECT 1; -- x\nGO\nSELECT 2 /* open;",
         {{"SELECT 1;", "/* one; two */ SELECT 1; -- x"}, {"SELECT 2", "SELECT 2 /* open;"}}},
        {"no semicolon: kept", "GO", "SELECT 1 -- x\nGO\n", {Same("SELECT 1 -- x")}},
        {"a definition: kept",
         ";",
         "Create TABLE t (a -- a; b\n);",
         {{"Create TABLE t (a -- a; b\n)", "Create TABLE t (a -- a; b )"}}},
        {"a text is not a comment",
         ";",
         "SELECT \"--;\" -- ;\n;",
         {{"SELECT \"--;\"", "SELECT \"--;\" -- ;"}}},
        {"comments after the separator leave nothing behind",
         ";",
         "SELECT 1; -- a;\nSELECT 2 -- b;\n;",
         {Same("SELECT 1"), {"SELECT 2", "SELECT 2 -- b;"}}},
    };
    for (const ReaderCase& c : cases) {
        EXPECT_EQ(Read(c.script, c.separator, true), c.expected) << c.name;
    }
}

struct StandardCase {
    const char* name;
    Dialect dialect;
    const char* separator;
    std::string script;
    std::vector<Sent> expected;
};

TEST(ScriptReader, StandardSqlEndsStatementsWhereTheDatabaseWould) {
    const Dialect other = Dialect::Other;
    const Dialect pg = Dialect::PostgreSql;
    const Dialect my = Dialect::MySql;
    const std::vector<StandardCase> cases = {
        {"texts, names and comments hold ; and apostrophes",
         other,
         "",
         "-- it's\nINSERT INTO \"a;\" VALUES ('it''s; ok', `b;`, [c;]); /* d; */ ' e' ;\n",
         {{"-- it's\nINSERT INTO \"a;\" VALUES ('it''s; ok', `b;`, [c;])",
           "-- it's INSERT INTO \"a;\" VALUES ('it''s; ok', `b;`, [c;])"},
          Same("/* d; */ ' e'")}},
        {"blank lines are whitespace, texts keep their blanks",
         other,
         "",
         "SELECT 1\n\n+ 2; SELECT 'a  \n\n  b';",
         {{"SELECT 1\n\n+ 2", "SELECT 1 + 2"}, {"SELECT 'a  \n\n  b'", "SELECT 'a b'"}}},
        {"a backslash is ordinary elsewhere",
         other,
         "",
         "SELECT 'a\\'; SELECT 2;",
         {Same("SELECT 'a\\'"), Same("SELECT 2")}},
        {"MySQL: backslash escapes, # and executable comments",
         my,
         "",
         "INSERT INTO t VALUES ('it\\'s;', \"q\\\";\");\n/*!40101 SET NAMES utf8mb4 */;\n"
         "/* plain */;\n# hash ;\nSELECT 1;",
         {Same("INSERT INTO t VALUES ('it\\'s;', \"q\\\";\")"),
          Same("/*!40101 SET NAMES utf8mb4 */"),
          {"# hash ;\nSELECT 1", "# hash ; SELECT 1"}}},
        {"PostgreSQL: E'' escapes, dollar quotes, $1 and names with $",
         pg,
         "",
         "SELECT E'it\\'s;', 'a\\';\nCREATE FUNCTION f() RETURNS int AS $body$\nBEGIN RETURN 1; "
         "END; $$ $body$ LANGUAGE plpgsql;\nSELECT $$a;b$$, a$b$c FROM t WHERE x = $1;",
         {Same("SELECT E'it\\'s;', 'a\\'"),
          {"CREATE FUNCTION f() RETURNS int AS $body$\nBEGIN RETURN 1; END; $$ $body$ LANGUAGE "
           "plpgsql",
           "CREATE FUNCTION f() RETURNS int AS $body$ BEGIN RETURN 1; END; $$ $body$ LANGUAGE "
           "plpgsql"},
          Same("SELECT $$a;b$$, a$b$c FROM t WHERE x = $1")}},
        {"trigger bodies, CASE inside them",
         other,
         "",
         "CREATE TEMP TRIGGER tr AFTER INSERT ON a BEGIN UPDATE b SET x = CASE WHEN 1 THEN 2 "
         "END; DELETE FROM c; END; SELECT 1;",
         {Same("CREATE TEMP TRIGGER tr AFTER INSERT ON a BEGIN UPDATE b SET x = CASE WHEN 1 THEN 2 "
               "END; DELETE FROM c; END"),
          Same("SELECT 1")}},
        {"MySQL trigger with END IF and END CASE, BEGIN elsewhere",
         my,
         "",
         "CREATE TRIGGER upd BEFORE UPDATE ON f FOR EACH ROW BEGIN IF 1 THEN SET @a=1; END IF; "
         "CASE WHEN 1 THEN SET @b=1; END CASE; END;\nBEGIN; COMMIT;",
         {Same("CREATE TRIGGER upd BEFORE UPDATE ON f FOR EACH ROW BEGIN IF 1 THEN SET @a=1; END "
               "IF; CASE WHEN 1 THEN SET @b=1; END CASE; END"),
          Same("BEGIN"), Same("COMMIT")}},
        {"PostgreSQL BEGIN ATOMIC",
         pg,
         "",
         "CREATE FUNCTION g() RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT CASE WHEN "
         "true THEN 2 END; END; BEGIN; COMMIT;",
         {Same("CREATE FUNCTION g() RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT CASE "
               "WHEN true THEN 2 END; END"),
          Same("BEGIN"), Same("COMMIT")}},
        {"DELIMITER sets the terminator",
         my,
         "",
         "DELIMITER ;;\nCREATE PROCEDURE p() BEGIN SELECT 1; END ;;\ndelimiter //\nSELECT 2//\n"
         "DELIMITER ;\nSELECT 3;",
         {Same("CREATE PROCEDURE p() BEGIN SELECT 1; END"), Same("SELECT 2"), Same("SELECT 3")}},
        {"with a separator line, ; goes to the database",
         other,
         "GO",
         "INSERT INTO t VALUES ('a\nGO\n');\n\nINSERT INTO t VALUES (2);\nGO\n",
         {{"INSERT INTO t VALUES ('a\nGO\n');\n\nINSERT INTO t VALUES (2);",
           "INSERT INTO t VALUES ('a GO '); INSERT INTO t VALUES (2);"}}},
        {"with a one-character separator",
         other,
         "|",
         "SELECT '|', 1; SELECT 2|",
         {Same("SELECT '|', 1; SELECT 2")}},
        {"another client's command stops the reading",
         pg,
         "",
         "\\restrict abc\nSELECT 1; SELECT\n  \\connect other\nSELECT 2;",
         {Same("SELECT 1"),
          {"refused: line 3 is a command of another client, not SQL; nothing from it on is run",
           "\\connect other"}}},
        {"COPY ... FROM stdin is refused",
         pg,
         "",
         "SELECT 1;\n\nCOPY public.t (a, b) FROM stdin;\n1\t2\n\\.\n",
         {Same("SELECT 1"),
          {"refused: line 3: COPY ... FROM stdin takes its rows from the client, and a script "
           "sends none (dump with --inserts to have them as INSERT statements)",
           "COPY public.t (a, b) FROM stdin"}}},
    };
    for (const StandardCase& c : cases) {
        EXPECT_EQ(Read(c.script, c.separator, false, true, c.dialect), c.expected) << c.name;
    }
}

// The script line that an error of the database points at: the batch's own
// line numbers (comments before its text, comments left out, line ends
// inside texts) carried to the line inside the statement that the message
// names.
TEST(ScriptReader, ErrorsPointAtTheScriptLine) {
    struct Case {
        const char* name;
        std::string script;  // one failing batch, after a first one
        bool omitComments;
        const char* error;
        long line;  // 0: the batch's first text line, 3
    };
    const std::string before = "SELECT 1\nGO\n";
    const Case cases[] = {
        {"MariaDB's line in the statement", "INSERT INTO t VALUES\n(1),\n(2) x\nGO\n", false,
         "...for the right syntax to use near 'x' at line 3", 5},
        {"a comment before the text is sent with it", "-- first\nINSERT INTO t\nVALUES (1) x\nGO\n",
         false, "...near 'x' at line 3", 5},
        {"a line number past the statement's end", "SELECT 2\nGO\n", false, "... at line 9", 0},
        {"PostgreSQL's token on one line", "INSERT INTO t VALUES\n(1),\n(2) oops\nGO\n", false,
         "ERROR: syntax error at or near \"oops\";", 5},
        {"a token on two lines says nothing more", "SELECT a,\nb c,\nd c\nGO\n", false,
         "syntax error at or near \"c\"", 0},
        {"a token inside a longer word is another", "SELECT cc,\nc\nGO\n", false,
         "at or near \"c\"", 4},
        {"the end of the input", "SELECT (1,\n2,\n3\nGO\n", false,
         "ERROR: syntax error at end of input", 5},
        {"a block comment left out keeps its lines",
         "/* a\nb */ INSERT INTO t VALUES (1);\n/* c\nd */\nINSERT INTO u VALUES (2) z;\nGO\n",
         true, "near \"z\": syntax error", 7},
        {"CRLF inside a text", "SELECT \"a\r\nb\" zz\nGO\n", false, "near \"zz\": syntax error", 4},
        {"a message without a place", "SELECT 1,\nx\nGO\n", false, "no such column: x", 0},
    };
    for (const Case& c : cases) {
        CScriptReader reader("GO");
        reader.OmitCommentsOutsideDefinitions(c.omitComments);
        const std::string script = before + c.script;
        size_t begin = 0;
        while (begin < script.size()) {
            const size_t end = script.find('\n', begin);
            std::string line = script.substr(begin, end - begin);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                reader.SetLineEnd("\r\n");
            }
            reader.AddLine(CString(line));
            begin = end + 1;
        }
        reader.Finish();
        ASSERT_NE(reader.NextBatch(), nullptr) << c.name;
        const CScriptBatch* second = reader.NextBatch();
        ASSERT_NE(second, nullptr) << c.name;
        const CScriptBatch& batch = *second;
        const long inside = LineInStatement(CString(c.error), batch.sql);
        EXPECT_EQ(inside > 0 ? batch.sqlLine + inside - 1 : 0, c.line) << c.name;
    }
}

// $(NAME): replaced in texts and statements, never in comments, names
// without regard to case, a later value winning; plain text until a
// variable has a value; a name without a value refuses the script there.
TEST(ScriptReader, VariablesStandForTheirValues) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> given;  // as with -v
        std::string script;
        std::vector<Sent> expected;
    };
    const Case cases[] = {
        {"without variables $( is text", {}, "SELECT \"$(x)\"\nGO\n", {Same("SELECT \"$(x)\"")}},
        {"in statements and texts, any case",
         {{"Db", "shop"}, {"who", "Ann"}},
         "USE $(DB) -- $(comment) stays\nGO\nSELECT \"$(Who)\" /* $(db) */\nGO\n",
         {Same("USE shop -- $(comment) stays"), Same("SELECT \"Ann\" /* $(db) */")}},
        {":setvar, a later value winning",
         {{"t", "a"}},
         ":setvar T b\nSELECT * FROM $(t)\nGO\n:setvar T \"c d\"\nSELECT \"$(T)\"\nGO\n",
         {Same("SELECT * FROM b"), Same("SELECT \"c d\"")}},
        {"a value is not read again, nor cut by the comment marker",
         {{"v", "1 ' $(v)"}},
         "SELECT $(v)\nGO\n",
         {Same("SELECT 1 ' $(v)")}},
        {"a name without a value",
         {{"a", "1"}},
         "SELECT $(a)\nGO\nSELECT $(b)\nGO\nSELECT 3\nGO\n",
         {Same("SELECT 1"),
          {"refused: line 3: $(b) has no value (give it one with -v b=VALUE or :setvar b VALUE); "
           "nothing from it on is run",
           "SELECT $(b)"}}},
    };
    for (const Case& c : cases) {
        CScriptReader reader("GO");
        for (const auto& [name, value] : c.given) {
            reader.SetVariable(name, value);
        }
        std::vector<Sent> sent;
        size_t begin = 0;
        while (begin < c.script.size()) {
            const size_t end = c.script.find('\n', begin);
            reader.AddLine(CString(c.script.substr(begin, end - begin)));
            begin = end + 1;
        }
        reader.Finish();
        while (const CScriptBatch* next = reader.NextBatch()) {
            const CScriptBatch& batch = *next;
            const std::string failure = batch.failure.Str();
            sent.push_back(
                {failure.empty() ? batch.sql.Str() : "refused: " + failure, batch.shown.Str()});
        }
        EXPECT_EQ(sent, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace vorla::test
