#include "platform/Prefix.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstdlib>

namespace vorla::platform {

std::string PrefixDir() {
    const char* prefix = std::getenv("VORLA_PREFIX");
    if (prefix != nullptr && *prefix != '\0') {
        return prefix;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return std::string(home) + "/.vorla";
    }
    return std::string();
}

namespace {

bool MakeDir(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

}  // namespace

std::string EnsurePrefixDir(const std::string& sub) {
    std::string dir = PrefixDir();
    if (dir.empty()) {
        errno = ENOENT;
        return std::string();
    }
    // Create the prefix's own parents as well, so a VORLA_PREFIX naming a
    // path whose parents are missing still works.
    for (size_t pos = dir.find('/', 1); pos != std::string::npos; pos = dir.find('/', pos + 1)) {
        if (!MakeDir(dir.substr(0, pos))) {
            return std::string();
        }
    }
    if (!MakeDir(dir)) {
        return std::string();
    }
    if (sub.empty()) {
        return dir;
    }
    std::string path = dir + "/" + sub;
    if (!MakeDir(path)) {
        return std::string();
    }
    return path;
}

}  // namespace vorla::platform
