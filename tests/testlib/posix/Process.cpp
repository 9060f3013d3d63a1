#include "testlib/Process.h"
#include "testlib/posix/Spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace vorla::test {

namespace {

std::vector<std::string> BuildEnvironment(const ProcessOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& kv : options.env) {
            if (entry.compare(0, kv.first.size() + 1, kv.first + "=") == 0) {
                replaced = true;
            }
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    for (const auto& kv : options.env) {
        env.push_back(kv.first + "=" + kv.second);
    }
    return env;
}

}  // namespace

pid_t SpawnProcess(const std::vector<std::string>& argv, const ProcessOptions& options,
                   posix_spawn_file_actions_t* actions, int* error) {
    if (!options.workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(actions, options.workDir.c_str());
    }
    std::vector<std::string> envStrings = BuildEnvironment(options);
    std::vector<char*> envp;
    for (std::string& e : envStrings) {
        envp.push_back(&e[0]);
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) {
        argp.push_back(&a[0]);
    }
    argp.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argp[0], actions, nullptr, argp.data(), envp.data());
    if (error != nullptr) {
        *error = rc;
    }
    return rc == 0 ? pid : -1;
}

namespace {

ProcessResult Run(const std::vector<std::string>& argv, const ProcessOptions& options,
                  bool merged) {
    int outPipe[2];
    int errPipe[2];
    int inPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
        pipe2(inPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, merged ? outPipe[1] : errPipe[1], 2);
    int rc = 0;
    const pid_t pid = SpawnProcess(argv, options, &actions, &rc);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    close(inPipe[0]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        close(inPipe[1]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    if (!options.input.empty()) {
        (void)!write(inPipe[1], options.input.data(), options.input.size());
    }
    close(inPipe[1]);

    ProcessResult result;
    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char buf[65536];
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[i]->append(buf, static_cast<size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    return Run(argv, options, false);
}

ProcessResult RunProcessMerged(const std::vector<std::string>& argv,
                               const ProcessOptions& options) {
    return Run(argv, options, true);
}

ExpectedStreams& ExpectedStreams::Out(const std::string& line) {
    return OutPart(line + "\n");
}

ExpectedStreams& ExpectedStreams::OutPart(const std::string& text) {
    m_out += text;
    m_merged += text;
    return *this;
}

ExpectedStreams& ExpectedStreams::Err(const std::string& line) {
    m_err += line + "\n";
    m_merged += line + "\n";
    return *this;
}

}  // namespace vorla::test
