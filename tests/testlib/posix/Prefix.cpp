#include <cstdlib>

#include "testlib/TempDir.h"

namespace vorla::test {

ScopedPrefix::ScopedPrefix() {
    if (const char* old = std::getenv("VORLA_PREFIX")) {
        m_hadOld = true;
        m_old = old;
    }
    setenv("VORLA_PREFIX", m_dir.Path().c_str(), 1);
}

ScopedPrefix::~ScopedPrefix() {
    if (m_hadOld) {
        setenv("VORLA_PREFIX", m_old.c_str(), 1);
    } else {
        unsetenv("VORLA_PREFIX");
    }
}

}  // namespace vorla::test
