// One working directory with its own prefix, set up like an installation,
// and the helpers that run the built program there and look at what it left:
// the shared ground of the end-to-end tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Win32.h"
#include "testlib/HostOdbc.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace vorla::test {

extern const std::string kList;

// A folder with its prefix (set up by vorla-setup) and its own host ODBC
// configuration, without data sources at first.
class Site {
public:
    Site();

    std::string Path() const { return m_dir.Path(); }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    std::string Prefix() const { return m_dir.File("prefix"); }
    const HostOdbcConfig& HostOdbc() const { return m_odbc; }

    // The environment of a run here: the prefix, a home of its own and the
    // host ODBC configuration.
    ProcessOptions Options() const;

    // The registry of this site (and its host data sources), read in this
    // process.
    void UseRegistry() const;

private:
    ScopedTempDir m_dir;
    HostOdbcConfig m_odbc;
};

using Prepare = std::function<void(Site&)>;
using Expected = std::function<ExpectedStreams(const Site&)>;
using Check = std::function<void(const Site&)>;

// Runs the same scenario on two identical sites, once with the streams
// apart and once merged, and checks the first site's state afterwards.
void ExpectRun(const Prepare& prepare, const std::vector<std::string>& args,
               const Expected& expected, int exitCode, const Check& check = nullptr);

// Registry helpers, on the registry in use in this process.
bool KeyExists(HKEY root, const std::string& path);
bool Listed(HKEY root, const std::string& name);
std::string ReadText(HKEY root, const std::string& path, const std::string& name);
// Lists `name` in the root's data-source list.
void List(HKEY root, const std::string& name);

// A vorla run left running in the background in the site, its two streams
// in one pipe; killed (SIGKILL) at the latest when the object goes.
class BackgroundRun {
public:
    BackgroundRun(const Site& site, const std::vector<std::string>& args);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Reads the run's output until `text` shows; false when the run ended
    // first.
    bool WaitFor(const std::string& text);
    const std::string& Text() const { return m_text; }
    void Kill();
    // Sends `sig`, reads the rest of the output and gives the exit status as
    // a shell sees it.
    int Signal(int sig);

private:
    int m_pid = -1;
    int m_out = -1;
    std::string m_text;
};

// The rows of a query on a SQLite file, each row's columns joined by '|' and
// ended by a line feed.
std::string Query(const std::string& dbFile, const std::string& sql);

}  // namespace vorla::test
