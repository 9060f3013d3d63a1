#include "app/RunCmd.h"
#include "framework/Console.h"
#include "support/FileSystem.h"

// This build checks the script option and stops there: the stages that
// provision the database, register the data source and run the script are
// not part of it yet, so it must not claim a successful run.
BOOL CRunCmd::Run() {
    CFileSystem fs;
    if (m_strCommandFile.IsEmpty()) {
        AfxWriteErrLine("Try '-h' for HELP");
        AfxWriteErrLine(
            "Use the '-i COMMAND_FILE' command line argument to specify a command file.");
        return FALSE;
    }
    AfxWriteErrLine("Running scripts is not available in this build of VORLA.");
    return FALSE;
}
