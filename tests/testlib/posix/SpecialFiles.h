// Files that are not regular files, made by tests where the system lets them,
// and a process that holds a file open the way an ordinary program does.
#pragma once

#include <sys/types.h>

#include <string>

namespace vorla::test {

// Each returns the empty text on success, else why it could not be made.
std::string MakeFifo(const std::string& path);
// A character device with the numbers of /dev/null; needs CAP_MKNOD (root).
std::string MakeCharDevice(const std::string& path);
// A listening Unix-domain socket bound to `path`; the socket file stays
// when the descriptor is closed.
std::string MakeSocket(const std::string& path);

// Another process that opens `path` with plain open(2), no lock of any kind,
// and keeps it open until the object is destroyed.
class ProcessHoldingFile {
public:
    explicit ProcessHoldingFile(const std::string& path);
    ~ProcessHoldingFile();
    ProcessHoldingFile(const ProcessHoldingFile&) = delete;
    ProcessHoldingFile& operator=(const ProcessHoldingFile&) = delete;

    // True once the other process has the file open.
    bool Holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

}  // namespace vorla::test
