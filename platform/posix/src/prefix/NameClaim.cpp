// Claims as lock files in the prefix's registry/claims/ folder: a claim is
// an exclusive flock(2) on the name's file, which the kernel lets go of when
// the process ends. The files stay; only their locks say anything.
#include "platform/NameClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/Prefix.h"

namespace vorla::platform {

namespace {

// The claims this process holds, by file name: a lock is never taken twice.
std::mutex& g_lock = *new std::mutex;
std::unordered_map<std::string, int>& g_held = *new std::unordered_map<std::string, int>;

// A file name for `name`: letters folded to upper case, anything but letters
// and digits as %XX, so that no name reaches outside the folder.
std::string FileNameOf(const char* name) {
    std::string file;
    for (const char* c = name; *c != '\0'; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
            file += static_cast<char>(u);
        } else if (u >= 'a' && u <= 'z') {
            file += static_cast<char>(u - 'a' + 'A');
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            file += hex;
        }
    }
    return file;
}

}  // namespace

bool ClaimName(const char* name) {
    const std::string dir = EnsurePrefixDir("registry/claims");
    if (dir.empty()) {
        return false;
    }
    const std::string path = dir + "/" + FileNameOf(name);
    const std::lock_guard<std::mutex> guard(g_lock);
    if (g_held.count(path) != 0) {
        return true;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    g_held.emplace(path, fd);  // held until the process ends
    return true;
}

}  // namespace vorla::platform
