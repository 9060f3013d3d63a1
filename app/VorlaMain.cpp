#include "app/VorlaMain.h"

#include <ostream>

#include "app/Options.h"
#include "app/RunCmd.h"
#include "framework/App.h"
#include "framework/Console.h"
#include "framework/Interrupt.h"
#include "framework/SystemCheck.h"
#include "res/Resource.h"
#include "support/FileSystem.h"

namespace {

// The framework's initialisation needs the application object to exist; the
// program keeps no state in it.
CWinApp theApp("VORLA");

}  // namespace

int VorlaMain(int argc, char* argv[], std::ostream& out, std::ostream& err) {
    CConsoleRedirect console(out, err);
    // Ctrl-C and the signals of a job runner stop the run cleanly, from the
    // first thing the run does on.
    AfxInstallInterruptHandler("The run was interrupted.");
    RegisterStringTable();

    if (!AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0)) {
        AfxWriteErrLine("Fatal Error: VORLA initialization failed");
        return 1;
    }

    // Declared in this order so that they are destroyed in the reverse one:
    // the banner, the file-system helper, then the record, whose destructor
    // may still print "Closing connection.".
    CRunCmd cmd;
    CFileSystem fs;
    CString banner;
    banner.LoadString(IDS_BANNER);
    AfxWriteOutLine(banner);

    switch (ParseOptions(cmd, fs, argc, argv)) {
        case ParseOutcome::HelpShown:
            return 0;
        case ParseOutcome::MissingFile:
        case ParseOutcome::BadValue:
            return -1;
        case ParseOutcome::Run:
            break;
    }
    if (!cmd.Run()) {
        // What the system lacks comes after the run's own message.
        const CString advice = AfxSystemAdvice();
        if (!advice.IsEmpty()) {
            AfxWriteErrLine(advice);
        }
        return -1;
    }
    return 0;
}
