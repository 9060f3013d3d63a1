#include "framework/App.h"

#include "framework/Console.h"
#include "framework/SystemCheck.h"

namespace {

CWinApp* g_app = nullptr;

}  // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

CWinApp* AfxGetApp() {
    return g_app;
}

BOOL AfxWinInit(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
    if (g_app == nullptr || instance == nullptr) {
        return FALSE;
    }
    // Before anything of the system is read or run.
    CString problem;
    if (!AfxCheckSystem(problem)) {
        AfxWriteErrLine(problem);
        return FALSE;
    }
    g_app->m_hInstance = instance;
    g_app->m_strCmdLine = cmdLine;
    return TRUE;
}

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    const char* title =
        (g_app != nullptr && g_app->m_pszAppName != nullptr) ? g_app->m_pszAppName : "";
    return MessageBoxA(nullptr, text, title, type);
}
