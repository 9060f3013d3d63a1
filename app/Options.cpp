#include "app/Options.h"

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

// A next argument that does not begin an option group can be a value.
bool HasValueArgument(int index, int argc, char* argv[]) {
    return index + 1 < argc && argv[index + 1] != nullptr && !IsOptionStart(argv[index + 1][0]);
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
                case 'o': {
                    // The next argument wins over a rest attached to the letter.
                    CString value;
                    if (HasValueArgument(i, argc, argv)) {
                        value = argv[++i];
                    } else {
                        value = arg + pos + 1;
                    }
                    groupEnds = true;
                    if (letter == 'e' || letter == 'i') {
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
                default:
                    // Letters outside the option table are skipped.
                    break;
            }
        }
    }
    return ParseOutcome::Run;
}
