// The directory separator the program writes into file paths it builds.
// Splitting a path accepts both '\' and '/' on every system; this constant only
// decides which one is written.
#pragma once

constexpr char kPathSeparator = '\\';
constexpr const char* kPathSeparatorText = "\\";

// A path that does not depend on the current directory: "\dir", "//server",
// "C:\dir" (and "C:dir", which depends on C:'s own current directory).
inline bool IsAbsolutePath(const char* path) {
    const char first = path[0];
    return first == '\\' || first == '/' ||
           (((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) && path[1] == ':');
}
