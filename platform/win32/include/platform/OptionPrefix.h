// The characters that begin an option group on the command line: '-' and, as
// is the custom on this system, '/'. A path begins with its drive letter or a
// backslash, so neither is taken for an option group.
#pragma once

constexpr const char* kOptionPrefixes = "-/";
