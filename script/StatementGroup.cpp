#include "script/StatementGroup.h"

#include <cctype>
#include <utility>

namespace {

constexpr size_t kMaxStatements = 256;
constexpr size_t kMaxBytes = 256 * 1024;

constexpr char kSavepoint[] = "SAVEPOINT vorla_statement_group;\n";
constexpr char kRelease[] = "RELEASE SAVEPOINT vorla_statement_group;\n";
constexpr char kRollback[] = "ROLLBACK TO SAVEPOINT vorla_statement_group";

// The statement's first word, upper-cased, after blanks and comments.
std::string FirstWord(const std::string& sql) {
    size_t i = 0;
    while (i < sql.size()) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c) != 0) {
            ++i;
        } else if (sql.compare(i, 2, "--") == 0) {
            const size_t end = sql.find('\n', i);
            i = end == std::string::npos ? sql.size() : end + 1;
        } else if (sql.compare(i, 2, "/*") == 0) {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? sql.size() : end + 2;
        } else {
            break;
        }
    }
    std::string word;
    for (; i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])) != 0; ++i) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
    }
    return word;
}

}  // namespace

bool CStatementGroup::CanJoin(const CScriptBatch& batch) {
    if (!batch.failure.IsEmpty()) {
        return false;
    }
    static const char* const kTransactionWords[] = {
        "BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT", "SAVEPOINT", "RELEASE", "PREPARE"};
    const std::string word = FirstWord(batch.sql.Str());
    for (const char* w : kTransactionWords) {
        if (word == w) {
            return false;
        }
    }
    return !word.empty();
}

void CStatementGroup::Add(CScriptBatch& batch) {
    if (m_count == m_batches.size()) {
        m_batches.emplace_back();
    }
    std::swap(m_batches[m_count], batch);
    m_bytes += static_cast<size_t>(m_batches[m_count].sql.GetLength());
    ++m_count;
}

bool CStatementGroup::Full() const {
    return m_count >= kMaxStatements || m_bytes >= kMaxBytes;
}

const CString& CStatementGroup::Text() {
    m_text.Empty();
    m_released = m_savepointSet;
    if (m_released) {
        m_text += kRelease;
    }
    m_text += kSavepoint;
    for (size_t i = 0; i < m_count; ++i) {
        m_text += m_batches[i].sql;
        m_text += "\n;\n";
    }
    m_savepointSet = true;
    return m_text;
}

long CStatementGroup::ExpectedResults() const {
    return static_cast<long>(m_count) + (m_released ? 2 : 1);
}

const char* CStatementGroup::RollbackText() {
    return kRollback;
}

void CStatementGroup::Clear() {
    m_count = 0;
    m_bytes = 0;
}
