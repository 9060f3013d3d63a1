// Runs several commands round after round, one run of each per round in an
// order that rotates, and prints every run's wall time:
//   bench_interleave ROUNDS WARMUP NAME PREP COMMAND [NAME PREP COMMAND ...]
// PREP and COMMAND are split at blanks (no quoting); PREP runs untimed before
// each run of COMMAND, "-" for none. Each timed run prints one line:
//   <name> <round> <wall ms>
// Rounds below WARMUP run but print nothing. Because the runs of the
// commands alternate, a drift in the machine's load reaches them all alike,
// and the difference of two commands within one round is a fair sample of
// what one costs over the other. Standard output and error of the commands
// go to /dev/null; a command that fails stops the whole run with its status.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
    std::string name;
    std::vector<std::string> prep;
    std::vector<std::string> run;
};

std::vector<std::string> Split(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// Runs `argv` with its output discarded; its exit status, or -1.
int Spawn(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || (argc - 3) % 3 != 0) {
        std::fprintf(stderr,
                     "usage: bench_interleave ROUNDS WARMUP NAME PREP COMMAND [NAME PREP "
                     "COMMAND ...]\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const int warmup = std::atoi(argv[2]);
    std::vector<Command> commands;
    for (int i = 3; i + 2 < argc; i += 3) {
        const std::string prep = argv[i + 1];
        commands.push_back(
            {argv[i], prep == "-" ? std::vector<std::string>() : Split(prep), Split(argv[i + 2])});
    }
    const size_t n = commands.size();
    for (int round = 0; round < warmup + rounds; ++round) {
        for (size_t k = 0; k < n; ++k) {
            const Command& command = commands[(static_cast<size_t>(round) + k) % n];
            if (!command.prep.empty() && Spawn(command.prep) != 0) {
                std::fprintf(stderr, "bench_interleave: %s: the preparation failed\n",
                             command.name.c_str());
                return 1;
            }
            const auto start = std::chrono::steady_clock::now();
            const int status = Spawn(command.run);
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            if (status != 0) {
                std::fprintf(stderr, "bench_interleave: %s exited with %d\n", command.name.c_str(),
                             status);
                return 1;
            }
            if (round >= warmup) {
                std::printf("%s %d %.3f\n", command.name.c_str(), round - warmup, took.count());
            }
        }
    }
    return 0;
}
