#include "RegVerbs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RegData.h"
#include "Regedit4.h"
#include "platform/HostDataSources.h"
#include "support/Registry.h"

namespace vorlareg {

namespace {

const char kSuccess[] = "The operation completed successfully.";
const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.";
const char kCancelled[] = "The operation was cancelled by the user.";
const char kFileError[] =
    "ERROR: Error opening the file. There may be a disk or file system error.";
const char kIndent[] = "    ";

struct ValueData {
    std::string strName;
    DWORD dwType = REG_NONE;
    std::string strBytes;
};

// The message reg gives for a registry status.
std::string StatusMessage(LONG status) {
    switch (status) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return kNotFound;
        case ERROR_ACCESS_DENIED:
            return "ERROR: Access is denied.";
        case ERROR_BAD_NETPATH:
        case RPC_S_SERVER_UNAVAILABLE:
            return "ERROR: The network path was not found.";
        case ERROR_BADDB:
        case ERROR_REGISTRY_CORRUPT:
            return "ERROR: The configuration registry database is corrupt.";
        case ERROR_BUSY:
            return "ERROR: The requested resource is in use.";
        case ERROR_INVALID_PARAMETER:
            return "ERROR: The parameter is incorrect.";
        case ERROR_KEY_DELETED:
            return "ERROR: Illegal operation attempted on a registry key that has been marked for "
                   "deletion.";
        default:
            break;
    }
    char text[96];
    std::snprintf(text, sizeof text, "ERROR: The registry operation failed with status %ld.",
                  static_cast<long>(status));
    return text;
}

int Fail(Console& console, const std::string& message) {
    console.err << message << std::endl;
    return 1;
}

int Succeed(Console& console) {
    console.out << kSuccess << std::endl;
    return 0;
}

// Asks until the answer is yes or no. Without an answer (end of input, as
// when no one is at a terminal) the question counts as answered no.
bool Confirm(Console& console, const std::string& question) {
    for (;;) {
        console.out << question << " (Yes/No)? " << std::flush;
        std::string answer;
        if (!std::getline(console.in, answer)) {
            console.out << std::endl;
            return false;
        }
        const std::string upper = ToUpper(answer);
        if (upper == "Y" || upper == "YES") {
            return true;
        }
        if (upper == "N" || upper == "NO") {
            return false;
        }
    }
}

const char* ComputerOf(const KeySpec& key) {
    return key.strComputer.empty() ? nullptr : key.strComputer.c_str();
}

// Attaches to the key's root and opens the key; false with the status kept
// in the object.
bool OpenKey(CRegistry& registry, const KeySpec& key, const std::string& path, REGSAM access) {
    return registry.AttachRoot(key.hRoot, ComputerOf(key), TRUE) &&
           registry.OpenSubKey(path.c_str(), access);
}

std::string DisplayName(const std::string& name) {
    return name.empty() ? "(Default)" : name;
}

// The values of the open key, in the registry's order. A value whose data
// grew since the key was measured is read again with a buffer for the new
// size; one that does not fit the largest size the key reports stops the
// read (with ERROR_MORE_DATA) rather than being asked for again and again.
bool ReadValues(CRegistry& registry, std::vector<ValueData>& values) {
    values.clear();
    std::vector<BYTE> buffer(registry.m_dwMaxValueData + 1);
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        CString name;
        ValueData value;
        if (!registry.EnumValueFull(index, name, &value.dwType, buffer.data(), &length)) {
            return registry.m_lLastStatus == ERROR_NO_MORE_ITEMS;
        }
        if (registry.m_lLastStatus == ERROR_MORE_DATA) {
            if (!registry.RefreshInfo()) {
                return false;
            }
            const size_t needed = std::max<size_t>(registry.m_dwMaxValueData, length) + 1;
            if (needed <= buffer.size()) {
                registry.m_lLastStatus = ERROR_MORE_DATA;
                return false;
            }
            buffer.resize(needed);
            continue;
        }
        value.strName = name.Str();
        value.strBytes.assign(reinterpret_cast<const char*>(buffer.data()), length);
        values.push_back(value);
        ++index;
    }
}

bool ReadSubKeyNames(CRegistry& registry, std::vector<std::string>& names) {
    names.clear();
    CString name;
    for (DWORD index = 0; registry.EnumSubKeyName(index, name); ++index) {
        names.push_back(name.Str());
    }
    return registry.m_lLastStatus == ERROR_NO_MORE_ITEMS;
}

std::string ChildPath(const std::string& parent, const std::string& child) {
    return parent.empty() ? child : parent + "\\" + child;
}

void PrintValue(Console& console, const ValueData& value) {
    console.out << kIndent << DisplayName(value.strName) << kIndent << TypeName(value.dwType)
                << kIndent << FormatData(value.dwType, value.strBytes) << "\n";
}

// One key read whole: its values and the names of its sub-keys.
struct KeyContents {
    std::vector<ValueData> values;
    std::vector<std::string> subKeys;
};

LONG ReadKey(const KeySpec& key, const std::string& path, KeyContents& contents) {
    CRegistry registry;
    if (!OpenKey(registry, key, path, KEY_READ) || !ReadValues(registry, contents.values) ||
        !ReadSubKeyNames(registry, contents.subKeys)) {
        return registry.m_lLastStatus;
    }
    return ERROR_SUCCESS;
}

// Visits the key at `path` and, with `recurse`, every key below it, each
// before its sub-keys and those in the registry's order. The walk keeps the
// paths still to visit in a list of its own, so that a deep tree cannot
// overflow the stack. `visit` gets each key's path and contents.
template <class Visit>
LONG WalkTree(const KeySpec& key, const std::string& path, bool recurse, Visit visit) {
    std::vector<std::string> pending{path};
    while (!pending.empty()) {
        const std::string here = pending.back();
        pending.pop_back();
        KeyContents contents;
        const LONG status = ReadKey(key, here, contents);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        visit(here, contents);
        if (recurse) {
            for (auto it = contents.subKeys.rbegin(); it != contents.subKeys.rend(); ++it) {
                pending.push_back(ChildPath(here, *it));
            }
        }
    }
    return ERROR_SUCCESS;
}

KeySpec At(const KeySpec& key, const std::string& path) {
    KeySpec here = key;
    here.strPath = path;
    return here;
}

// Each key: its values under its name and a blank line when it has values
// (always, when walking a tree), then, when not walking, its sub-keys' names.
LONG QueryTree(const KeySpec& key, const std::string& path, bool recurse, Console& console) {
    return WalkTree(key, path, recurse, [&](const std::string& here, const KeyContents& contents) {
        if (!contents.values.empty() || recurse) {
            console.out << At(key, here).FullName() << "\n";
            for (const ValueData& value : contents.values) {
                PrintValue(console, value);
            }
            console.out << "\n";
        }
        if (!recurse) {
            for (const std::string& name : contents.subKeys) {
                console.out << At(key, ChildPath(here, name)).FullName() << "\n";
            }
        }
    });
}

// Looks one value up in the key and, with `recurse`, in every key below it;
// prints each key that has it. Counts the matches.
LONG QueryValueTree(const KeySpec& key, const std::string& path, const std::string& name,
                    bool isDefault, bool recurse, int& matches, Console& console) {
    return WalkTree(key, path, recurse, [&](const std::string& here, const KeyContents& contents) {
        const auto found =
            std::find_if(contents.values.begin(), contents.values.end(),
                         [&](const ValueData& v) { return ToUpper(v.strName) == ToUpper(name); });
        if (found == contents.values.end() && !(isDefault && !recurse)) {
            return;
        }
        console.out << At(key, here).FullName() << "\n";
        if (found != contents.values.end()) {
            PrintValue(console, *found);
            ++matches;
        } else {
            // reg shows an unset default value rather than an error.
            console.out << kIndent << "(Default)" << kIndent << "REG_SZ" << kIndent
                        << "(value not set)\n";
        }
        console.out << "\n";
    });
}

// A name as a message shows it: line breaks written as \r and \n.
std::string Visible(const std::string& name) {
    std::string text;
    for (char c : name) {
        text += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return text;
}

// The first name of the key's path or values that a REGEDIT4 file cannot
// hold (a line break would end its line), as a message; empty when none.
std::string UnwritableName(const std::string& fullName, const KeyContents& contents) {
    if (fullName.find_first_of("\r\n") != std::string::npos) {
        return "the name of the key '" + Visible(fullName) + "' holds a line break";
    }
    for (const ValueData& value : contents.values) {
        if (value.strName.find_first_of("\r\n") != std::string::npos) {
            return "the key '" + fullName + "' has a value whose name holds a line break ('" +
                   Visible(value.strName) + "')";
        }
    }
    return std::string();
}

LONG ExportTree(const KeySpec& key, const std::string& path, Regedit4Writer& writer,
                std::string& unwritable) {
    return WalkTree(key, path, true, [&](const std::string& here, const KeyContents& contents) {
        const std::string fullName = At(key, here).FullName();
        if (unwritable.empty()) {
            unwritable = UnwritableName(fullName, contents);
        }
        writer.Key(fullName);
        for (const ValueData& value : contents.values) {
            writer.Value(value.strName, value.strName.empty(), value.dwType, value.strBytes);
        }
    });
}

// Deletes the key at `path` and every key below it, each after its own
// sub-keys, keeping the keys still to delete in a list of its own rather
// than on the stack.
bool RemoveTree(const KeySpec& key, const std::string& path, LONG& status) {
    std::vector<std::string> pending{path};
    while (!pending.empty()) {
        CRegistry registry;
        if (!OpenKey(registry, key, pending.back(), KEY_ALL_ACCESS)) {
            status = registry.m_lLastStatus;
            return false;
        }
        CString child;
        if (registry.EnumSubKeyName(0, child)) {
            pending.push_back(ChildPath(pending.back(), child.Str()));
            continue;
        }
        if (registry.m_lLastStatus != ERROR_NO_MORE_ITEMS) {
            status = registry.m_lLastStatus;
            return false;
        }
        registry.CloseKeys();
        CRegistry remover;
        if (!remover.AttachRoot(key.hRoot, ComputerOf(key), TRUE) ||
            !remover.RemoveSubKey(pending.back().c_str(), FALSE)) {
            status = remover.m_lLastStatus;
            return false;
        }
        pending.pop_back();
    }
    return true;
}

bool FileExists(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file.good();
}

bool ValueExists(CRegistry& registry, const char* name) {
    DWORD length = 0;
    return registry.ReadRaw(name, nullptr, nullptr, &length) != FALSE;
}

}  // namespace

int RunQuery(const RegArgs& args, Console& console) {
    // Collected first: a query that fails before it finds anything shows the
    // error alone.
    std::ostringstream found;
    Console collect{console.in, found, console.err};
    LONG status = ERROR_SUCCESS;
    if (args.bValueName || args.bDefaultValue) {
        int matches = 0;
        const std::string name = args.bValueName ? args.strValueName : std::string();
        status = QueryValueTree(args.key, args.key.strPath, name, args.bDefaultValue, args.bRecurse,
                                matches, collect);
        if (status == ERROR_SUCCESS && args.bRecurse) {
            found << "End of search: " << matches << " match(es) found.\n";
        }
        if (status == ERROR_SUCCESS && matches == 0 && !args.bDefaultValue) {
            status = ERROR_FILE_NOT_FOUND;
        }
    } else {
        status = QueryTree(args.key, args.key.strPath, args.bRecurse, collect);
    }
    if (!found.str().empty() || status == ERROR_SUCCESS) {
        console.out << "\n" << found.str() << std::flush;
    }
    return status == ERROR_SUCCESS ? 0 : Fail(console, StatusMessage(status));
}

int RunAdd(const RegArgs& args, Console& console) {
    DWORD type = REG_SZ;
    if (args.bType && !TypeFromName(args.strType, type)) {
        return Fail(console, "ERROR: Invalid syntax.\nType \"vorla-reg ADD /?\" for usage.");
    }
    // Data or a type without a value name are for the default value, as
    // with reg.
    const bool setsValue = args.bValueName || args.bDefaultValue || args.bData || args.bType;
    std::string bytes;
    if (setsValue && !ParseData(type, args.strData, args.strSeparator, bytes)) {
        return Fail(console, "ERROR: Invalid syntax.\nType \"vorla-reg ADD /?\" for usage.");
    }
    CRegistry registry;
    if (!registry.AttachRoot(args.key.hRoot, ComputerOf(args.key), TRUE) ||
        !registry.CreateSubKey(args.key.strPath.c_str())) {
        return Fail(console, StatusMessage(registry.m_lLastStatus));
    }
    if (setsValue) {
        const std::string name = args.bValueName ? args.strValueName : std::string();
        if (!args.bForce && ValueExists(registry, name.c_str()) &&
            !Confirm(console, "Value " + DisplayName(name) + " exists, overwrite")) {
            return Fail(console, kCancelled);
        }
        if (!registry.WriteRaw(name.c_str(), type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size()))) {
            return Fail(console, StatusMessage(registry.m_lLastStatus));
        }
    }
    return Succeed(console);
}

int RunDelete(const RegArgs& args, Console& console) {
    CRegistry registry;
    if (!OpenKey(registry, args.key, args.key.strPath, KEY_ALL_ACCESS)) {
        return Fail(console, StatusMessage(registry.m_lLastStatus));
    }
    if (args.bValueName || args.bDefaultValue) {
        const std::string name = args.bValueName ? args.strValueName : std::string();
        if (!ValueExists(registry, name.c_str())) {
            return Fail(console, StatusMessage(registry.m_lLastStatus));
        }
        if (!args.bForce && !Confirm(console, "Delete the registry value " + DisplayName(name))) {
            return Fail(console, kCancelled);
        }
        if (!registry.RemoveValue(name.c_str())) {
            return Fail(console, StatusMessage(registry.m_lLastStatus));
        }
        return Succeed(console);
    }
    if (args.bAllValues) {
        if (!args.bForce &&
            !Confirm(console, "Delete all values under the registry key " + args.key.FullName())) {
            return Fail(console, kCancelled);
        }
        // Always the first: each removal moves the others up.
        CString name;
        while (registry.EnumValueName(0, name, nullptr)) {
            if (!registry.RemoveValue(name)) {
                return Fail(console, StatusMessage(registry.m_lLastStatus));
            }
        }
        if (registry.m_lLastStatus != ERROR_NO_MORE_ITEMS) {
            return Fail(console, StatusMessage(registry.m_lLastStatus));
        }
        return Succeed(console);
    }
    // A whole root is never deleted.
    if (args.key.strPath.empty()) {
        return Fail(console, "ERROR: Invalid key name.\nType \"vorla-reg DELETE /?\" for usage.");
    }
    if (!args.bForce &&
        !Confirm(console, "Permanently delete the registry key " + args.key.FullName())) {
        return Fail(console, kCancelled);
    }
    registry.CloseKeys();
    LONG status = ERROR_SUCCESS;
    if (!RemoveTree(args.key, args.key.strPath, status)) {
        return Fail(console, StatusMessage(status));
    }
    return Succeed(console);
}

int RunExport(const RegArgs& args, Console& console) {
    // An export holds the store's own contents: imported into another
    // prefix, it must not turn the host's data sources, which the registry
    // only shows, into entries of that store.
    vorla::platform::ShowHostDataSources(false);
    Regedit4Writer writer;
    std::string unwritable;
    const LONG status = ExportTree(args.key, args.key.strPath, writer, unwritable);
    if (status != ERROR_SUCCESS) {
        return Fail(console, StatusMessage(status));
    }
    // Never a file that import would refuse or read back differently.
    if (!unwritable.empty()) {
        return Fail(console, "ERROR: Nothing was exported: " + unwritable +
                                 ", which a REGEDIT4 file cannot hold.");
    }
    if (!args.bOverwrite && FileExists(args.strFile) &&
        !Confirm(console, "File " + args.strFile + " already exists. Overwrite")) {
        return Fail(console, kCancelled);
    }
    const std::string text = writer.Finish();
    std::ofstream file(args.strFile, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
        return Fail(console, kFileError);
    }
    return Succeed(console);
}

int RunImport(const RegArgs& args, Console& console) {
    std::ifstream file(args.strFile, std::ios::binary);
    if (!file) {
        return Fail(console, kFileError);
    }
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    std::vector<Regedit4Entry> entries;
    int errorLine = 0;
    if (!ReadRegedit4(text, entries, errorLine)) {
        return Fail(console, "ERROR: '" + args.strFile +
                                 "' is not a REGEDIT4 registry script (line " +
                                 std::to_string(errorLine) + ").");
    }
    CRegistry registry;
    for (const Regedit4Entry& entry : entries) {
        KeySpec key;
        if (!ParseKeySpec(entry.strKeyPath, key) || !key.strComputer.empty()) {
            return Fail(console, "ERROR: Invalid key name '" + entry.strKeyPath + "' (line " +
                                     std::to_string(entry.nLine) + ").");
        }
        bool ok = true;
        switch (entry.kind) {
            case Regedit4Entry::Kind::key:
                ok = registry.AttachRoot(key.hRoot, nullptr, TRUE) &&
                     registry.CreateSubKey(key.strPath.c_str());
                break;
            case Regedit4Entry::Kind::removeKey: {
                // A key that is already gone is what the script asks for.
                CRegistry remover;
                ok = remover.AttachRoot(key.hRoot, nullptr, TRUE) &&
                     (remover.RemoveSubKey(key.strPath.c_str(), TRUE) ||
                      remover.m_lLastStatus == ERROR_FILE_NOT_FOUND);
                registry.m_lLastStatus = remover.m_lLastStatus;
                break;
            }
            case Regedit4Entry::Kind::value:
                ok = registry.WriteRaw(entry.strName.c_str(), entry.dwType,
                                       reinterpret_cast<const BYTE*>(entry.strBytes.data()),
                                       static_cast<DWORD>(entry.strBytes.size()));
                break;
            case Regedit4Entry::Kind::removeValue:
                ok = registry.RemoveValue(entry.strName.c_str()) ||
                     registry.m_lLastStatus == ERROR_FILE_NOT_FOUND;
                break;
        }
        if (!ok) {
            return Fail(console, "ERROR: Error accessing the registry.");
        }
    }
    return Succeed(console);
}

}  // namespace vorlareg
