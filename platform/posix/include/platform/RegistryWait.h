// How long a registry call waits for another process's lock on a store.
//
// Processes that share a prefix take turns on each store file. The Windows
// registry never keeps a caller waiting on another process, but a store file
// can be held by a process that hangs, so a call waits at most a limit and
// then fails with ERROR_BUSY: VORLA_REGISTRY_WAIT seconds, 30 when unset.
#pragma once

namespace vorla::platform {

// Told once by a call that has waited a second for such a lock, with the
// store file's path; the call goes on waiting up to the limit.
using RegistryWaitNotice = void (*)(const char* storeFile);
void SetRegistryWaitNotice(RegistryWaitNotice notice);

}  // namespace vorla::platform
