// Names that a live run holds. A run that chooses a temporary data-source
// name holds it until it ends: another run that meets the name's key without
// its list entry can tell a live run's claim (held) from what a dead run
// left (not held), since the system lets go of a process's claims when it
// ends, however it ends.
#pragma once

namespace vorla::platform {

// Takes the claim on `name` (compared without case) for the rest of the
// process; false when another live process holds it. A claim this process
// holds already is taken again.
bool ClaimName(const char* name);

}  // namespace vorla::platform
