#include "testlib/OdbcTest.h"

namespace vorla::test {

std::string DirectConnect(const std::string& driver, const std::string& file) {
    return "DRIVER=" + driver + ";Database=" + file;
}

}  // namespace vorla::test
