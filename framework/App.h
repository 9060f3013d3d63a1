// Application start-up: the one application object of the process, the
// framework's initialisation, and the message box.
#pragma once

#include "framework/CObject.h"
#include "framework/CString.h"

class CWinApp : public CObject {
public:
    // The object registers itself as the process's application object.
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    const char* m_pszAppName;
    HINSTANCE m_hInstance = nullptr;
    CString m_strCmdLine;
};

CWinApp* AfxGetApp();

// Initialises the framework for this module and command line. Fails when
// there is no application object or no module handle, and when the system
// may not be trusted (AfxCheckSystem), after writing why on standard error.
BOOL AfxWinInit(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int showCmd);

// Shows a message box titled with the application's name; returns the
// button pressed.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
