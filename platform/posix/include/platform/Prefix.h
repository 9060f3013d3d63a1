// The POSIX prefix: the one directory that holds what Windows keeps in the
// system (the registry hives, the system directory). It is $VORLA_PREFIX, or
// $HOME/.vorla when that is unset, and is created with mode 0700 on first use.
#pragma once

#include <string>

namespace vorla::platform {

// The prefix directory as configured now, without creating it. Empty when
// neither VORLA_PREFIX nor HOME is set.
std::string PrefixDir();

// The prefix directory, created (mode 0700) together with `sub` below it when
// missing. Returns the full path of `sub` (or of the prefix when `sub` is
// empty), or an empty string when it cannot be created; errno tells why.
std::string EnsurePrefixDir(const std::string& sub);

// Whether the prefix may be trusted. What is in it is read and run with the
// rights of the process (the driver library in system32/ is loaded into
// it), so another user who can change it could run code as this user. The
// prefix, its registry/ and system32/ folders and the driver link must belong
// to this user or to root and must not be writable by group or others, and no
// folder on the way to the prefix may be a symbolic link that another user
// owns. Parts that do not exist yet are not checked: they are made private.
// False with `problem` set to one line naming the path and the fix.
bool CheckPrefix(std::string* problem);

// Makes the prefix and its two folders private to their owner (no write for
// group and others), as a set-up does for a prefix of its own. False with
// `problem` set when one of them belongs to another user.
bool TightenPrefix(std::string* problem);

}  // namespace vorla::platform
