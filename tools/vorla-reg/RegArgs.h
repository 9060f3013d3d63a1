// The command line of vorla-reg: a verb, a key, and the verb's options, read
// as the Windows reg command reads them. Options start with '/' or '-' and
// are matched without regard to case.
#pragma once

#include <string>
#include <vector>

#include "platform/Win32.h"

namespace vorlareg {

enum class Verb { none, query, add, remove, exportKey, importFile };

// A key as written on the command line: ROOT\path, the root in full or short
// form, optionally after \\computer\.
struct KeySpec {
    HKEY hRoot = nullptr;
    std::string strRootName;  // the full name, e.g. "HKEY_CURRENT_USER"
    std::string strComputer;  // empty for this computer
    std::string strPath;      // below the root, without leading or trailing '\'

    // ROOT\path (or ROOT alone) as reg prints it.
    std::string FullName() const;
};

struct RegArgs {
    Verb verb = Verb::none;
    bool bHelp = false;
    bool bVersion = false;  // --version, alone
    KeySpec key;
    bool bValueName = false;  // /v given
    std::string strValueName;
    bool bDefaultValue = false;  // /ve
    bool bAllValues = false;     // /va
    bool bRecurse = false;       // /s of query
    bool bForce = false;         // /f of add and delete
    bool bOverwrite = false;     // /y of export
    bool bType = false;
    std::string strType;  // /t
    bool bData = false;
    std::string strData;       // /d
    std::string strSeparator;  // /s of add; empty: the default "\0"
    std::string strFile;       // export and import
};

// What went wrong while reading the command line.
enum class ArgError { none, syntax, keyName };

// Reads the arguments after the program name. On an error the verb (when it
// was recognised) is still set, so that the usage hint can name it.
ArgError ParseArgs(const std::vector<std::string>& args, RegArgs& parsed);

// Parses ROOT\path; false for an unknown root or a malformed computer part.
bool ParseKeySpec(const std::string& text, KeySpec& key);

// The text with its ASCII letters in upper case.
std::string ToUpper(const std::string& text);

// The verb's name as reg writes it in usage hints ("QUERY", ...).
const char* VerbName(Verb verb);

}  // namespace vorlareg
