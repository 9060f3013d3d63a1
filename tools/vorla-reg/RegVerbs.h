// The five operations of vorla-reg over the registry access class. Each
// writes its own messages, as reg does, and returns the exit code: 0 for
// success, 1 for failure (a cancelled prompt included).
#pragma once

#include <iosfwd>

#include "RegArgs.h"

namespace vorlareg {

// Where the operations write and read: answers to prompts come from `in`.
struct Console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

int RunQuery(const RegArgs& args, Console& console);
int RunAdd(const RegArgs& args, Console& console);
int RunDelete(const RegArgs& args, Console& console);
int RunExport(const RegArgs& args, Console& console);
int RunImport(const RegArgs& args, Console& console);

}  // namespace vorlareg
