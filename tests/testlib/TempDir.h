// Temporary directories for tests. A directory is removed when its test
// passed and kept, with its path printed, when the test failed, so that the
// files a failing test left behind can be looked at.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vorla::test {

class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of `name` inside the directory, joined with '/'.
    std::string File(const std::string& name) const;

private:
    std::string m_path;
};

// A fresh temporary directory set as VORLA_PREFIX for the life of the object;
// the variable's earlier value comes back afterwards. No test may touch the
// real home directory's prefix. On Windows, where the registry and the
// system directory are the system's own, there is no prefix: the object only
// owns the directory.
class HostOdbcConfig;

class ScopedPrefix {
public:
    ScopedPrefix();
    ~ScopedPrefix();
    ScopedPrefix(const ScopedPrefix&) = delete;
    ScopedPrefix& operator=(const ScopedPrefix&) = delete;

    const std::string& Path() const { return m_dir.Path(); }
    // POSIX: the host ODBC configuration set for the object's life (see
    // testlib/HostOdbc.h), empty of data sources at first.
    HostOdbcConfig HostOdbc() const;

private:
    ScopedTempDir m_dir;
    ScopedTempDir m_odbcDir;
    // The variables set, with the values they had, and those that were unset.
    std::vector<std::pair<std::string, std::string>> m_saved;
    std::vector<std::string> m_unset;
};

// Whole-file helpers for test data.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace vorla::test
