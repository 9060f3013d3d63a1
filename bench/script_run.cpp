// Times RunScript on one script against one database, connected directly
// through a driver library: bench_script <driver> <database> <script>
// [separator]. The program's own output goes to standard output as usual;
// the time taken goes to standard error.
#include <chrono>
#include <cstdio>

#include "app/RunCmd.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DRIVER DATABASE SCRIPT [SEPARATOR]\n", argv[0]);
        return 2;
    }
    CRunCmd cmd;
    cmd.m_strDsn = "bench";
    cmd.m_strConnect = CString("ODBC;DRIVER=") + argv[1] + ";Database=" + argv[2];
    cmd.m_strCommandFile = argv[3];
    if (argc > 4) {
        cmd.m_strBatchSeparator = argv[4];
    }
    if (!cmd.OpenConnection()) {
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const BOOL ok = cmd.RunScript();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "RunScript: %.3f s (%s)\n", elapsed.count(), ok ? "ok" : "failed");
    return ok ? 0 : 1;
}
