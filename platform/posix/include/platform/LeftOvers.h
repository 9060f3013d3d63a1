// Temporary data sources that failed runs left behind. A run that fails keeps
// the temporary data source it made (nothing done before a failure is
// undone); these say how to remove them.
#pragma once

#include <string>
#include <vector>

namespace vorla::platform {

// The command that removes the temporary data sources no run holds any more,
// for the line that a failed run writes about the one it left.
inline const char* RemoveTemporaryCommand() {
    return "vorla-setup --remove-temporary";
}

// Removes, from the prefix's user and machine data sources, each temporary
// one (made with -x) whose name no live run holds, its key and its list
// entry. `removed` gets "HKEY_CURRENT_USER\NAME" (or HKEY_LOCAL_MACHINE) for
// each. False with `problem` set when one could not be removed (a machine
// data source without the rights to write the machine's hive); the others
// are removed all the same.
bool RemoveLeftTemporaryDataSources(std::vector<std::string>* removed, std::string* problem);

}  // namespace vorla::platform
