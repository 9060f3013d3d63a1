#include "app/Options.h"

#include <cctype>
#include <cstring>

#include "framework/Console.h"
#include "platform/OptionPrefix.h"
#include "provision/TemplateFile.h"
#include "res/Resource.h"

namespace {

// The platform's option characters: '-' everywhere, and '/' where it does
// not begin every absolute path.
bool IsOptionStart(char c) {
    return c != '\0' && std::strchr(kOptionPrefixes, c) != nullptr;
}

// A next argument that does not begin an option group can be a value; so
// can a lone "-", a group without letters, which names standard input.
bool HasValueArgument(int index, int argc, char* argv[]) {
    if (index + 1 >= argc || argv[index + 1] == nullptr) {
        return false;
    }
    const char* next = argv[index + 1];
    return !IsOptionStart(next[0]) || std::strcmp(next, kStandardInputName) == 0;
}

// -v NAME=VALUE: a name of letters, digits and underscores; the value is
// everything after the first '='. A later value of the same name wins.
bool TakeVariable(CRunCmd& cmd, const CString& value) {
    const int equals = value.Find('=');
    const CString name = equals > 0 ? value.Left(equals) : CString();
    bool named = !name.IsEmpty();
    for (const char c : name.Str()) {
        named = named && (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_');
    }
    if (!named) {
        AfxWriteErrLine(
            "The value of -v must be NAME=VALUE, with a name of letters, digits "
            "and '_': '" +
            value + "' is not.");
        return false;
    }
    cmd.m_variables.emplace_back(name, value.Mid(equals + 1));
    return true;
}

// -r alone prints a table, -r csv CSV.
bool TakeResultForm(CRunCmd& cmd, const CString& value) {
    if (value.IsEmpty() || value.CompareNoCase("table") == 0) {
        cmd.m_results = CRunCmd::Results::Table;
    } else if (value.CompareNoCase("csv") == 0) {
        cmd.m_results = CRunCmd::Results::Csv;
    } else {
        AfxWriteErrLine("The value of -r is 'table' (or none) or 'csv': '" + value +
                        "' is neither.");
        return false;
    }
    return true;
}

}  // namespace

void PrintHelp() {
    for (UINT id = IDS_HELP_FIRST; id <= IDS_HELP_LAST; ++id) {
        CString line;
        line.LoadString(id);
        AfxWriteOutLine("    " + line);
    }
}

ParseOutcome ParseOptions(CRunCmd& cmd, CFileSystem& fs, int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || !IsOptionStart(arg[0])) {
            continue;
        }
        const int length = static_cast<int>(std::strlen(arg));
        bool groupEnds = false;
        for (int pos = 1; pos < length && !groupEnds; ++pos) {
            const char letter = arg[pos];
            switch (letter) {
                case 'P':
                case 'U':
                case 'b':
                case 'd':
                case 'e':
                case 'i':
                case 'o':
                case 'r':
                case 'v': {
                    // The next argument wins over a rest attached to the letter.
                    CString value;
                    if (HasValueArgument(i, argc, argv)) {
                        value = argv[++i];
                    } else {
                        value = arg + pos + 1;
                    }
                    groupEnds = true;
                    // "-i -" is standard input, which exists whatever it is.
                    const bool standardInput = letter == 'i' && value == kStandardInputName;
                    if ((letter == 'e' || letter == 'i') && !standardInput) {
                        if (!fs.PathExists(value)) {
                            AfxWriteErrLine(letter == 'e'
                                                ? "Empty MS-Access db file '" + value +
                                                      "' does not exist."
                                                : "Command file '" + value + "' does not exist.");
                            return ParseOutcome::MissingFile;
                        }
                    }
                    switch (letter) {
                        case 'P':
                            cmd.m_strPassword = value;
                            break;
                        case 'U':
                            cmd.m_strLogin = value;
                            break;
                        case 'b':
                            cmd.m_strBatchSeparator = value;
                            break;
                        case 'd':
                            cmd.m_strDsn = value;
                            break;
                        case 'e':
                            cmd.m_strEmptyDb = value;
                            break;
                        case 'i':
                            cmd.m_strCommandFile = value;
                            break;
                        case 'r':
                            if (!TakeResultForm(cmd, value)) {
                                return ParseOutcome::BadValue;
                            }
                            break;
                        case 'v':
                            if (!TakeVariable(cmd, value)) {
                                return ParseOutcome::BadValue;
                            }
                            break;
                        default:
                            cmd.m_strOutputFile = value;
                            break;
                    }
                    break;
                }
                case 'c':
                    // The description is only ever the next argument; without
                    // one, reading goes on with the next letter (-cx).
                    cmd.m_bCreateDsn = TRUE;
                    if (HasValueArgument(i, argc, argv)) {
                        cmd.m_strDescription = argv[++i];
                        groupEnds = true;
                    }
                    break;
                case 'm':
                    cmd.m_strEmptyDb = FindTemplateFile(
                        arg[pos + 1] == '2' ? IDS_TEMPLATE_ACCESS2000 : IDS_TEMPLATE_ACCESS97);
                    groupEnds = true;
                    break;
                case 'h':
                    PrintHelp();
                    return ParseOutcome::HelpShown;
                case 's':
                    cmd.UseLocalMachine();
                    break;
                case 'u':
                    cmd.UseCurrentUser();
                    break;
                case 'x':
                    cmd.m_bTempDsn = TRUE;
                    break;
                case 'a':
                    cmd.m_bStandardSql = TRUE;
                    break;
                case 't':
                    cmd.m_bOneTransaction = TRUE;
                    break;
                case 'q':
                    cmd.m_bQuiet = TRUE;
                    break;
                default:
                    // Letters outside the option table are skipped.
                    break;
            }
        }
    }
    return ParseOutcome::Run;
}
