// A run-options record connected to a fresh SQLite database through the real
// driver manager, with the program's console captured.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/RunCmd.h"
#include "testlib/OdbcTest.h"
#include "testlib/StreamCapture.h"
#include "testlib/TempDir.h"

namespace vorla::test {

class ScriptTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the script, runs it with the separator and keeps what the run
    // wrote to the console in `m_capture`.
    BOOL Run(const std::string& script, const std::string& separator = std::string());

    // The SQL texts printed after "Executing: ", in order.
    std::vector<std::string> Executed() const;
    std::vector<std::string> Query(const std::string& sql) const {
        return QuerySqlite(m_database, sql);
    }

    ScopedTempDir m_dir;
    std::string m_driver;
    std::string m_database;
    std::string m_script;
    CRunCmd m_cmd;
    std::unique_ptr<StreamCapture> m_capture;
};

}  // namespace vorla::test
