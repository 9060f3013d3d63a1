// Temporary directories for tests. A directory is removed when its test
// passed and kept, with its path printed, when the test failed, so that the
// files a failing test left behind can be looked at.
#pragma once

#include <string>

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
class ScopedPrefix {
public:
    ScopedPrefix();
    ~ScopedPrefix();
    ScopedPrefix(const ScopedPrefix&) = delete;
    ScopedPrefix& operator=(const ScopedPrefix&) = delete;

    const std::string& Path() const { return m_dir.Path(); }

private:
    ScopedTempDir m_dir;
    bool m_hadOld = false;
    std::string m_old;
};

// Whole-file helpers for test data.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace vorla::test
