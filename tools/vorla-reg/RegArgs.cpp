#include "RegArgs.h"

#include <cctype>

namespace vorlareg {

namespace {

struct RootRow {
    const char* pszShort;
    const char* pszFull;
    HKEY hRoot;
};

const RootRow* FindRoot(const std::string& name) {
    static const RootRow kRoots[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKU", "HKEY_USERS", HKEY_USERS},
        {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    const std::string upper = ToUpper(name);
    for (const RootRow& row : kRoots) {
        if (upper == row.pszShort || upper == row.pszFull) {
            return &row;
        }
    }
    return nullptr;
}

bool IsOption(const std::string& arg) {
    return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-');
}

bool IsHelp(const std::string& arg) {
    const std::string upper = ToUpper(arg);
    return upper == "/?" || upper == "-?" || upper == "-H" || upper == "/H" || upper == "--HELP";
}

Verb VerbOf(const std::string& arg) {
    const std::string upper = ToUpper(arg);
    if (upper == "QUERY") {
        return Verb::query;
    }
    if (upper == "ADD") {
        return Verb::add;
    }
    if (upper == "DELETE") {
        return Verb::remove;
    }
    if (upper == "EXPORT") {
        return Verb::exportKey;
    }
    if (upper == "IMPORT") {
        return Verb::importFile;
    }
    return Verb::none;
}

// Takes the value that follows an option; false when there is none or the
// option was given twice.
bool TakeValue(const std::vector<std::string>& args, size_t& i, bool& seen, std::string& value) {
    if (seen || i + 1 >= args.size()) {
        return false;
    }
    seen = true;
    value = args[++i];
    return true;
}

bool SetFlag(bool& flag) {
    if (flag) {
        return false;
    }
    flag = true;
    return true;
}

// The options of one verb, after its positional arguments.
bool ParseOptions(const std::vector<std::string>& args, size_t i, RegArgs& parsed) {
    bool separatorSeen = false;
    for (; i < args.size(); ++i) {
        if (!IsOption(args[i])) {
            return false;
        }
        const std::string option = ToUpper(args[i].substr(1));
        const Verb verb = parsed.verb;
        const bool valueVerb = verb == Verb::query || verb == Verb::add || verb == Verb::remove;
        bool ok = false;
        if (option == "V" && valueVerb) {
            ok = TakeValue(args, i, parsed.bValueName, parsed.strValueName);
        } else if (option == "VE" && valueVerb) {
            ok = SetFlag(parsed.bDefaultValue);
        } else if (option == "VA" && verb == Verb::remove) {
            ok = SetFlag(parsed.bAllValues);
        } else if (option == "S" && verb == Verb::query) {
            ok = SetFlag(parsed.bRecurse);
        } else if (option == "S" && verb == Verb::add) {
            ok = TakeValue(args, i, separatorSeen, parsed.strSeparator);
        } else if (option == "T" && verb == Verb::add) {
            ok = TakeValue(args, i, parsed.bType, parsed.strType);
        } else if (option == "D" && verb == Verb::add) {
            ok = TakeValue(args, i, parsed.bData, parsed.strData);
        } else if (option == "F" && (verb == Verb::add || verb == Verb::remove)) {
            ok = SetFlag(parsed.bForce);
        } else if (option == "Y" && verb == Verb::exportKey) {
            ok = SetFlag(parsed.bOverwrite);
        }
        if (!ok) {
            return false;
        }
    }
    // /v, /ve and /va name different values: at most one of them.
    const int choices =
        (parsed.bValueName ? 1 : 0) + (parsed.bDefaultValue ? 1 : 0) + (parsed.bAllValues ? 1 : 0);
    if (choices > 1) {
        return false;
    }
    // A separator of add is one character.
    if (separatorSeen && parsed.strSeparator.size() != 1) {
        return false;
    }
    return true;
}

}  // namespace

std::string ToUpper(const std::string& text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

std::string KeySpec::FullName() const {
    std::string name = strComputer.empty() ? std::string() : "\\\\" + strComputer + "\\";
    name += strRootName;
    if (!strPath.empty()) {
        name += "\\" + strPath;
    }
    return name;
}

bool ParseKeySpec(const std::string& text, KeySpec& key) {
    std::string rest = text;
    key.strComputer.clear();
    if (rest.compare(0, 2, "\\\\") == 0) {
        const size_t end = rest.find('\\', 2);
        if (end == std::string::npos || end == 2) {
            return false;
        }
        key.strComputer = rest.substr(2, end - 2);
        rest = rest.substr(end + 1);
    }
    const size_t split = rest.find('\\');
    const RootRow* root = FindRoot(rest.substr(0, split));
    if (root == nullptr) {
        return false;
    }
    key.hRoot = root->hRoot;
    key.strRootName = root->pszFull;
    key.strPath = split == std::string::npos ? std::string() : rest.substr(split + 1);
    while (!key.strPath.empty() && key.strPath.back() == '\\') {
        key.strPath.pop_back();
    }
    return true;
}

const char* VerbName(Verb verb) {
    switch (verb) {
        case Verb::query:
            return "QUERY";
        case Verb::add:
            return "ADD";
        case Verb::remove:
            return "DELETE";
        case Verb::exportKey:
            return "EXPORT";
        case Verb::importFile:
            return "IMPORT";
        case Verb::none:
            break;
    }
    return "";
}

ArgError ParseArgs(const std::vector<std::string>& args, RegArgs& parsed) {
    parsed = RegArgs();
    if (args.empty()) {
        return ArgError::syntax;
    }
    if (IsHelp(args[0])) {
        parsed.bHelp = true;
        return args.size() == 1 ? ArgError::none : ArgError::syntax;
    }
    // Not one of reg's own: the package's release, as other POSIX tools give it.
    if (ToUpper(args[0]) == "--VERSION") {
        parsed.bVersion = true;
        return args.size() == 1 ? ArgError::none : ArgError::syntax;
    }
    parsed.verb = VerbOf(args[0]);
    if (parsed.verb == Verb::none) {
        return ArgError::syntax;
    }
    if (args.size() == 2 && IsHelp(args[1])) {
        parsed.bHelp = true;
        return ArgError::none;
    }
    // File names are taken as they stand: on POSIX an absolute path starts
    // with '/', like an option.
    if (parsed.verb == Verb::importFile) {
        if (args.size() != 2) {
            return ArgError::syntax;
        }
        parsed.strFile = args[1];
        return ArgError::none;
    }
    if (args.size() < 2 || IsOption(args[1])) {
        return ArgError::syntax;
    }
    if (!ParseKeySpec(args[1], parsed.key)) {
        return ArgError::keyName;
    }
    size_t next = 2;
    if (parsed.verb == Verb::exportKey) {
        if (args.size() < 3 || ToUpper(args[2]) == "/Y" || ToUpper(args[2]) == "-Y") {
            return ArgError::syntax;
        }
        parsed.strFile = args[2];
        next = 3;
    }
    return ParseOptions(args, next, parsed) ? ArgError::none : ArgError::syntax;
}

}  // namespace vorlareg
