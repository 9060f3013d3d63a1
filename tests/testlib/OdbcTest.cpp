#include "testlib/OdbcTest.h"

namespace vorla::test {

std::string DirectConnect(const std::string& driver, const std::string& file) {
    return "DRIVER=" + driver + ";Database=" + DriverFilePath(file);
}

std::string UnixOdbcMissingDriverText(const std::string& driver) {
    return "[unixODBC][Driver Manager]Can't open lib '" + driver + "' : file not found";
}

}  // namespace vorla::test
