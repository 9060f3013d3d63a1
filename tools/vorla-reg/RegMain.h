// The entry function of vorla-reg, behind a thin main(): the arguments after
// the program name, the streams to use, and the exit code as result.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorlareg {

int RegMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err);

}  // namespace vorlareg
