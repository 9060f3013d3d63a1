#include "RegMain.h"

#include <iostream>

#include "RegArgs.h"
#include "RegVerbs.h"
#include "VorlaVersion.h"
#include "platform/Prefix.h"
#include "platform/RegistryWait.h"

namespace vorlareg {

namespace {

const char kGeneralHelp[] =
    "vorla-reg: reads and changes the registry of a VORLA installation, as the\n"
    "Windows reg command does. The registry lives in $VORLA_PREFIX (by default\n"
    "$HOME/.vorla).\n"
    "\n"
    "vorla-reg <operation> [parameter list]\n"
    "\n"
    "  operation  QUERY | ADD | DELETE | EXPORT | IMPORT\n"
    "\n"
    "Keys are ROOT\\SubKey; ROOT is HKCR, HKCU, HKLM, HKU or HKCC, or the full\n"
    "name (HKEY_CURRENT_USER, ...), in any case.\n"
    "\n"
    "Return code: 0 success, 1 failure.\n"
    "\n"
    "Examples:\n"
    "  vorla-reg query \"HKCU\\Software\\ODBC\\ODBC.INI\" /s\n"
    "  vorla-reg add HKCU\\Software\\Vorla /v Name /t REG_SZ /d value /f\n"
    "  vorla-reg delete HKCU\\Software\\Vorla /v Name /f\n"
    "  vorla-reg export HKCU\\Software\\Vorla vorla.reg /y\n"
    "  vorla-reg import vorla.reg\n"
    "\n"
    "For help on one operation: vorla-reg <operation> /?\n"
    "The release of this program: vorla-reg --version\n";

const char kQueryHelp[] =
    "vorla-reg query KeyName [/v ValueName | /ve] [/s]\n"
    "\n"
    "  /v   the named value only\n"
    "  /ve  the default value (empty name) only\n"
    "  /s   every key below KeyName as well\n"
    "\n"
    "Each value is shown as: name, type, data. REG_DWORD and REG_QWORD show as\n"
    "0x hexadecimal, binary data as hex digits, REG_MULTI_SZ joined by \\0.\n"
    "\n"
    "Examples:\n"
    "  vorla-reg query HKLM\\SOFTWARE\\ODBC\n"
    "  vorla-reg query HKCU\\Software\\Vorla /v Name\n"
    "  vorla-reg query HKCU\\Software\\Vorla /s\n";

const char kAddHelp[] =
    "vorla-reg add KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n"
    "\n"
    "  /v   the value to add under KeyName\n"
    "  /ve  the default value (empty name); also meant when /t or /d stand\n"
    "       without /v\n"
    "  /t   REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
    "       REG_BINARY or REG_NONE\n"
    "  /s   the one character that separates the texts of a REG_MULTI_SZ in\n"
    "       /d (default: the two characters \\0)\n"
    "  /d   the data: text; a decimal or 0x hexadecimal number; hex digits\n"
    "       for REG_BINARY and REG_NONE\n"
    "  /f   overwrite an existing value without asking\n"
    "\n"
    "Without /f an existing value is only overwritten when the question is\n"
    "answered Yes on standard input; no answer cancels with return code 1.\n"
    "\n"
    "Examples:\n"
    "  vorla-reg add HKCU\\Software\\Vorla\n"
    "  vorla-reg add HKCU\\Software\\Vorla /v Count /t REG_DWORD /d 0x10 /f\n"
    "  vorla-reg add HKCU\\Software\\Vorla /v List /t REG_MULTI_SZ /s , /d a,b /f\n";

const char kDeleteHelp[] =
    "vorla-reg delete KeyName [/v ValueName | /ve | /va] [/f]\n"
    "\n"
    "  /v   the value to delete\n"
    "  /ve  the default value (empty name)\n"
    "  /va  every value of the key (its sub-keys stay)\n"
    "  /f   delete without asking\n"
    "\n"
    "Without /v, /ve or /va the key goes with everything below it. Without /f\n"
    "the deletion waits for Yes on standard input; no answer (for example no\n"
    "terminal) cancels with return code 1.\n"
    "\n"
    "Examples:\n"
    "  vorla-reg delete HKCU\\Software\\Vorla /v Name /f\n"
    "  vorla-reg delete HKCU\\Software\\Vorla /f\n";

const char kExportHelp[] =
    "vorla-reg export KeyName FileName [/y]\n"
    "\n"
    "  Writes the key and everything below it to FileName as a REGEDIT4\n"
    "  registry script (CR LF line ends).\n"
    "  /y   overwrite an existing file without asking\n"
    "\n"
    "Example:\n"
    "  vorla-reg export HKCU\\Software\\Vorla vorla.reg /y\n";

const char kImportHelp[] =
    "vorla-reg import FileName\n"
    "\n"
    "  Applies a REGEDIT4 registry script: creates its keys and writes their\n"
    "  values; [-KEY] deletes a key with its tree and \"name\"=- a value.\n"
    "\n"
    "Example:\n"
    "  vorla-reg import vorla.reg\n";

const char* HelpOf(Verb verb) {
    switch (verb) {
        case Verb::query:
            return kQueryHelp;
        case Verb::add:
            return kAddHelp;
        case Verb::remove:
            return kDeleteHelp;
        case Verb::exportKey:
            return kExportHelp;
        case Verb::importFile:
            return kImportHelp;
        case Verb::none:
            break;
    }
    return kGeneralHelp;
}

std::string UsageHint(Verb verb) {
    std::string hint = "Type \"vorla-reg ";
    if (verb != Verb::none) {
        hint += ToUpper(VerbName(verb)) + " ";
    }
    return hint + "/?\" for usage.";
}

}  // namespace

int RegMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err) {
    RegArgs parsed;
    const ArgError error = ParseArgs(args, parsed);
    if (error != ArgError::none) {
        err << (error == ArgError::keyName ? "ERROR: Invalid key name." : "ERROR: Invalid syntax.")
            << "\n"
            << UsageHint(parsed.verb) << std::endl;
        return 1;
    }
    if (parsed.bHelp) {
        out << HelpOf(parsed.verb) << std::flush;
        return 0;
    }
    if (parsed.bVersion) {
        out << "vorla-reg " << VORLA_VERSION << std::endl;
        return 0;
    }
    // A store that another process keeps locked is waited for a while; say
    // what the command waits for rather than hang without a word.
    static std::ostream* waitStream = nullptr;
    waitStream = &err;
    vorla::platform::SetRegistryWaitNotice([](const char* storeFile) {
        *waitStream << "Waiting for the registry store '" << storeFile
                    << "', which another process has locked..." << std::endl;
    });
    // Nothing of a prefix that another user may change is read or written.
    std::string problem;
    if (!vorla::platform::CheckPrefix(&problem)) {
        err << "ERROR: " << problem << std::endl;
        return 1;
    }
    Console console{in, out, err};
    switch (parsed.verb) {
        case Verb::query:
            return RunQuery(parsed, console);
        case Verb::add:
            return RunAdd(parsed, console);
        case Verb::remove:
            return RunDelete(parsed, console);
        case Verb::exportKey:
            return RunExport(parsed, console);
        case Verb::importFile:
            return RunImport(parsed, console);
        case Verb::none:
            break;
    }
    return 1;
}

}  // namespace vorlareg
