#include "testlib/posix/SpecialFiles.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorla::test {

namespace {

std::string Failure(const char* what, const std::string& path) {
    return std::string(what) + " '" + path + "': " + std::strerror(errno);
}

}  // namespace

std::string MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0644) == 0 ? std::string() : Failure("mkfifo", path);
}

std::string MakeCharDevice(const std::string& path) {
    return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? std::string()
                                                                   : Failure("mknod", path);
}

std::string MakeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return "socket path too long: " + path;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return Failure("socket", path);
    }
    const bool bound =
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
    const std::string why = bound ? std::string() : Failure("bind", path);
    close(fd);
    return why;
}

ProcessHoldingFile::ProcessHoldingFile(const std::string& path) {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) {
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        const char state = fd >= 0 ? '1' : '0';
        (void)!write(ready[1], &state, 1);
        char c = 0;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    char state = 0;
    m_holding = m_pid > 0 && read(ready[0], &state, 1) == 1 && state == '1';
    close(ready[0]);
}

ProcessHoldingFile::~ProcessHoldingFile() {
    if (m_release >= 0) {
        close(m_release);
    }
    if (m_pid > 0) {
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

}  // namespace vorla::test
