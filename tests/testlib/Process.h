// Running a built program the way a user does, in its own working directory
// and prefix, with its standard output and standard error captured.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vorla::test {

struct ProcessResult {
    int exitCode = -1;  // as a POSIX shell sees it: -1 from main() is 255
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string workDir;                                   // empty: inherit
    std::vector<std::pair<std::string, std::string>> env;  // added or replaced
    std::string input;                                     // standard input
};

// Runs `argv` (argv[0] is the program's path) with the two streams captured
// separately.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

// Runs `argv` with standard error sent to standard output, so that the text
// shows the order in which the lines were written to the two streams.
ProcessResult RunProcessMerged(const std::vector<std::string>& argv, const ProcessOptions& options);

// The streams a test expects, line by line in the order of writing.
class ExpectedStreams {
public:
    ExpectedStreams& Out(const std::string& line);
    ExpectedStreams& Err(const std::string& line);
    // Text written to standard output without a line end.
    ExpectedStreams& OutPart(const std::string& text);

    const std::string& OutText() const { return m_out; }
    const std::string& ErrText() const { return m_err; }
    const std::string& MergedText() const { return m_merged; }

private:
    std::string m_out;
    std::string m_err;
    std::string m_merged;
};

}  // namespace vorla::test
