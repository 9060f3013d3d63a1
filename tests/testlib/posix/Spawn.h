// Starting a program with file actions of the caller's: the streams as the
// caller sets them up, the working directory and environment of `options`.
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "testlib/Process.h"

namespace vorla::test {

// Starts argv[0] with `actions` (to which the change to options.workDir is
// added) and this process's environment with options.env in place. Gives
// the process id, or -1 with `error` (when given) set to posix_spawn's
// error number.
pid_t SpawnProcess(const std::vector<std::string>& argv, const ProcessOptions& options,
                   posix_spawn_file_actions_t* actions, int* error = nullptr);

}  // namespace vorla::test
