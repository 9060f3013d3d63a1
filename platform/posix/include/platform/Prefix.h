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

}  // namespace vorla::platform
