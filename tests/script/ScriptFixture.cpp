#include "ScriptFixture.h"

#include "framework/Console.h"

namespace vorla::test {

void ScriptTest::SetUp() {
    m_driver = SqliteOdbcDriver();
    if (m_driver.empty()) {
        GTEST_SKIP() << "The SQLite ODBC driver (Debian package libsqliteodbc) is not installed";
    }
    m_database = m_dir.File("script.db");
    m_script = m_dir.File("script.sql");
    m_cmd.m_strDsn = "test";
    m_cmd.m_strConnect = ("ODBC;" + DirectConnect(m_driver, m_database)).c_str();
    StreamCapture capture;
    CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
    ASSERT_TRUE(m_cmd.OpenConnection()) << capture.Err();
}

void ScriptTest::TearDown() {
    m_cmd.m_db.Close();
}

BOOL ScriptTest::Run(const std::string& script, const std::string& separator) {
    WriteFileBytes(m_script, script);
    m_cmd.m_strCommandFile = m_script.c_str();
    m_cmd.m_strBatchSeparator = CString(separator.data(), static_cast<int>(separator.size()));
    m_capture = std::make_unique<StreamCapture>();
    CConsoleRedirect redirect(m_capture->OutStream(), m_capture->ErrStream());
    return m_cmd.RunScript();
}

std::vector<std::string> ScriptTest::Executed() const {
    std::vector<std::string> sql;
    const std::string out = m_capture->Out();
    const std::string prefix = "Executing: ";
    size_t pos = 0;
    while (pos < out.size()) {
        const size_t end = out.find('\n', pos);
        const std::string line =
            out.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (line.rfind(prefix, 0) == 0) {
            sql.push_back(line.substr(prefix.size()));
        }
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    return sql;
}

}  // namespace vorla::test
