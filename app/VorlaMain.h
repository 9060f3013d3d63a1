// The program's entry function, behind a thin main(): it takes the argument
// vector and the two streams to write to, and returns the exit status.
#pragma once

#include <iosfwd>

// Exit status: 0 success or help, -1 failure, 1 when the framework cannot be
// initialised.
int VorlaMain(int argc, char* argv[], std::ostream& out, std::ostream& err);
