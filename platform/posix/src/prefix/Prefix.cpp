#include "platform/Prefix.h"
#include "platform/Setup.h"

#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <vector>

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
    // The common case, a folder that is there, costs one look; the registry
    // asks for its folder at every hive it opens.
    std::string path = sub.empty() ? dir : dir + "/" + sub;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return path;
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
    if (!MakeDir(path)) {
        return std::string();
    }
    return path;
}

namespace {

// The parts of the prefix that are read or run: the folders and the driver.
const std::string kCheckedParts[] = {"", "registry", "system32",
                                     std::string("system32/") + kDesktopDriverFile};

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

bool TrustedOwner(uid_t owner) {
    return owner == geteuid() || owner == 0;
}

std::string OwnerName(uid_t owner) {
    const passwd* entry = getpwuid(owner);
    return entry != nullptr ? std::string(entry->pw_name) : "uid " + std::to_string(owner);
}

// The absolute form of `dir`, from the current directory when relative.
std::string Absolute(const std::string& dir) {
    if (!dir.empty() && dir[0] == '/') {
        return dir;
    }
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" + dir : dir;
}

// Symbolic links on the way to the prefix (the prefix itself included) must
// be this user's or root's: another user's link could be pointed elsewhere.
bool CheckLinks(const std::string& prefix, std::string* problem) {
    for (size_t pos = prefix.find('/', 1);; pos = prefix.find('/', pos + 1)) {
        if (pos == std::string::npos) {
            pos = prefix.size();
        }
        const std::string part = prefix.substr(0, pos);
        struct stat st;
        if (lstat(part.c_str(), &st) != 0) {
            return true;  // the rest does not exist yet
        }
        if (S_ISLNK(st.st_mode) && !TrustedOwner(st.st_uid)) {
            *problem = "The VORLA prefix path goes through " + Quoted(part) +
                       ", a symbolic link that " + OwnerName(st.st_uid) +
                       " owns; set VORLA_PREFIX to a path without it.";
            return false;
        }
        if (pos == prefix.size()) {
            break;
        }
    }
    return true;
}

bool EndsWith(const std::string& name, const char* tail) {
    const std::string t(tail);
    return name.size() > t.size() && name.compare(name.size() - t.size(), t.size(), t) == 0;
}

// The store files in the prefix's registry folder: the hives and what
// SQLite keeps beside them. Their keys name the libraries that runs load
// (a data source's Driver), so they must be as private as the folder.
std::vector<std::string> StoreFiles(const std::string& absolute) {
    std::vector<std::string> files;
    const std::string dir = absolute + "/registry";
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) {
        return files;
    }
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        for (const char* tail : {".db", ".db-wal", ".db-shm", ".db-journal"}) {
            if (EndsWith(name, tail)) {
                files.push_back("registry/" + name);
            }
        }
    }
    closedir(folder);
    return files;
}

// SQLite's side files of a store: SQLite makes them as plain files, so a link
// there is somebody else's doing, and the store would read or write through
// it (or fail every call as corrupt).
bool IsSideFile(const std::string& part) {
    return EndsWith(part, "-wal") || EndsWith(part, "-shm") || EndsWith(part, "-journal");
}

}  // namespace

bool CheckPrefix(std::string* problem) {
    const std::string prefix = PrefixDir();
    if (prefix.empty()) {
        return true;  // nothing to read; making one fails later with its own error
    }
    const std::string absolute = Absolute(prefix);
    if (!CheckLinks(absolute, problem)) {
        return false;
    }
    std::vector<std::string> parts(std::begin(kCheckedParts), std::end(kCheckedParts));
    for (const std::string& file : StoreFiles(absolute)) {
        parts.push_back(file);
    }
    for (const std::string& part : parts) {
        const std::string path = part.empty() ? absolute : absolute + "/" + part;
        struct stat link;
        if (IsSideFile(part) && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            *problem = "The VORLA registry file " + Quoted(path) +
                       " is a symbolic link, which the registry never makes; remove it (rm " +
                       Quoted(path) + ") while no VORLA program runs.";
            return false;
        }
        // A link (the driver is one) counts by its own owner and by what it
        // points at.
        for (const bool follow : {false, true}) {
            struct stat st;
            if ((follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0 ||
                (!follow && !S_ISLNK(st.st_mode))) {
                continue;
            }
            if (!TrustedOwner(st.st_uid)) {
                *problem = "The VORLA prefix " + Quoted(path) + " belongs to " +
                           OwnerName(st.st_uid) + ", not to " + OwnerName(geteuid()) +
                           "; take it over (chown " + OwnerName(geteuid()) + " " + Quoted(path) +
                           ") or set VORLA_PREFIX to a prefix of your own.";
                return false;
            }
            if (follow && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
                *problem = "The VORLA prefix " + Quoted(path) +
                           " may be changed by other users; make it private: chmod go-w " +
                           Quoted(path);
                return false;
            }
        }
    }
    return true;
}

bool TightenPrefix(std::string* problem) {
    const std::string absolute = Absolute(PrefixDir());
    if (!CheckLinks(absolute, problem)) {
        return false;
    }
    std::vector<std::string> parts = {"", "registry", "system32"};
    for (const std::string& file : StoreFiles(absolute)) {
        parts.push_back(file);
    }
    for (const std::string& part : parts) {
        const std::string path = part.empty() ? absolute : absolute + "/" + part;
        struct stat st;
        // Only what is there as itself: a link is the check's to judge.
        if (lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) {
            continue;
        }
        if (!TrustedOwner(st.st_uid)) {
            return CheckPrefix(problem);
        }
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
            chmod(path.c_str(), st.st_mode & 07755 & ~static_cast<mode_t>(S_IWGRP | S_IWOTH)) !=
                0) {
            *problem = "Cannot make the VORLA prefix " + Quoted(path) + " private: chmod go-w " +
                       Quoted(path);
            return false;
        }
    }
    return CheckPrefix(problem);
}

}  // namespace vorla::platform
