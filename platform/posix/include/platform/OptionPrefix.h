// The characters that begin an option group on the command line. Here '/'
// begins every absolute path, so only '-' begins an option group and an
// absolute path given as an argument of its own is a value.
#pragma once

constexpr const char* kOptionPrefixes = "-";
