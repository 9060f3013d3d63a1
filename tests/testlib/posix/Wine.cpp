#include "testlib/Wine.h"

namespace vorla::test {

bool RunningUnderWine() {
    return false;
}

// The POSIX registry store stands in for file permissions, not for Windows
// privileges: saving and loading need nothing beyond access to the files.
bool EnableHivePrivileges() {
    return true;
}

}  // namespace vorla::test
