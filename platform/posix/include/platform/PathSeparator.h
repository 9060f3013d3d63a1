// The directory separator the program writes into file paths it builds.
// Splitting a path accepts both '\' and '/' on every system; this constant only
// decides which one is written.
#pragma once

constexpr char kPathSeparator = '/';
constexpr const char* kPathSeparatorText = "/";

// A path that does not depend on the current directory.
inline bool IsAbsolutePath(const char* path) {
    return path[0] == '/';
}
