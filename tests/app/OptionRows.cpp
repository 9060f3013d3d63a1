#include "OptionRows.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ParseArgs.h"
#include "res/Resource.h"
#include "testlib/TempDir.h"

namespace vorla::test {

namespace {

std::string Join(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) {
        text += "[" + arg + "] ";
    }
    return text;
}

}  // namespace

void CheckOptionRows(const OptionRows& rows) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("setup.sql"), "SELECT 1\n");
    WriteFileBytes(dir.File("empty.mdb"), "");
    char before[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof before, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
    auto substitute = [&](std::string text) {
        const std::pair<const char*, std::string> keys[] = {
            {"<script>", "setup.sql"},
            {"<dir>", "."},
            {"<empty>", "empty.mdb"},
            {"<missing>", "missing.sql"},
            {"<abs-script>", dir.File("setup.sql")},
        };
        for (const auto& key : keys) {
            size_t pos = text.find(key.first);
            if (pos != std::string::npos) {
                text.replace(pos, std::string(key.first).size(), key.second);
            }
        }
        return text;
    };

    RegisterStringTable();
    for (const OptionRow& row : rows.Rows()) {
        SCOPED_TRACE(Join(row.args));
        std::vector<std::string> args;
        for (const std::string& arg : row.args) {
            args.push_back(substitute(arg));
        }
        CRunCmd cmd;
        std::ostringstream out;
        std::ostringstream err;
        const ParseOutcome outcome = ParseArgs(cmd, args, out, err);
        const OptionExpect& e = row.expect;
        EXPECT_EQ(outcome, e.outcome);
        EXPECT_EQ(std::string(cmd.m_strDsn), e.dsn);
        EXPECT_EQ(std::string(cmd.m_strDescription), e.description);
        EXPECT_EQ(cmd.m_bCreateDsn != 0, e.create);
        EXPECT_EQ(cmd.m_bTempDsn != 0, e.temp);
        EXPECT_EQ(cmd.m_bStandardSql != 0, e.standardSql);
        EXPECT_EQ(cmd.m_bOneTransaction != 0, e.transaction);
        EXPECT_EQ(cmd.m_hRootKey, e.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
        EXPECT_EQ(std::string(cmd.m_strOutputFile), substitute(e.output));
        EXPECT_EQ(std::string(cmd.m_strEmptyDb), substitute(e.emptyDb));
        EXPECT_EQ(std::string(cmd.m_strCommandFile),
                  e.outcome == ParseOutcome::MissingFile ? std::string() : substitute(e.command));
        EXPECT_EQ(std::string(cmd.m_strBatchSeparator), e.separator);
        EXPECT_EQ(std::string(cmd.m_strLogin), e.login);
        EXPECT_EQ(std::string(cmd.m_strPassword), e.password);
        EXPECT_EQ(out.str().empty(), e.outcome != ParseOutcome::HelpShown);
        EXPECT_EQ(err.str().empty(), e.outcome != ParseOutcome::MissingFile) << err.str();
    }
    ASSERT_TRUE(SetCurrentDirectoryA(before));
}

}  // namespace vorla::test
