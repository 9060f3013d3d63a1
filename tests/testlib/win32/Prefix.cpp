#include "testlib/TempDir.h"

namespace vorla::test {

// On Windows the registry and the system directory are the system's own:
// there is no prefix to point elsewhere. The object still owns a fresh
// temporary directory, so that tests can keep their files in Path() on
// every system.
ScopedPrefix::ScopedPrefix() = default;

ScopedPrefix::~ScopedPrefix() = default;

}  // namespace vorla::test
