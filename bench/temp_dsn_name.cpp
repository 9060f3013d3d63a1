// Times MakeTempDsnName with VORLA1..VORLAn already listed among the current
// user's data sources, for each count given:
//   VORLA_PREFIX=<prefix> bench_temp_dsn_name [COUNT...]   (default 10 100 1000)
// The prefix should be a throwaway one (set up by vorla-setup or empty): the
// names are added to its data-source list and removed again at the end. For
// each count one line goes to standard output:
//   <count> <median wall ms> <median CPU ms> <calls timed> <name chosen>
// The CPU time (user and system, of this single-threaded process) is the
// steadier figure on a machine shared with other work.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "dsn/DsnKeys.h"
#include "dsn/DsnLookup.h"
#include "platform/Win32.h"

namespace {

constexpr char kDriverName[] = "Microsoft Access Driver (*.mdb)";

std::string ListKey() {
    return std::string(kOdbcIniPrefix) + kDataSourceListName;
}

bool AddNames(HKEY list, long from, long to) {
    for (long i = from; i <= to; ++i) {
        const std::string name = "VORLA" + std::to_string(i);
        if (RegSetValueExA(list, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(kDriverName),
                           sizeof kDriverName) != ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot add %s to the data-source list\n", name.c_str());
            return false;
        }
    }
    return true;
}

void RemoveNames(HKEY list, long count) {
    for (long i = 1; i <= count; ++i) {
        RegDeleteValueA(list, ("VORLA" + std::to_string(i)).c_str());
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::strtol(argv[i], nullptr, 10));
    }
    if (counts.empty()) {
        counts = {10, 100, 1000};
    }
    std::sort(counts.begin(), counts.end());
    if (std::getenv("VORLA_PREFIX") == nullptr) {
        std::fprintf(stderr, "set VORLA_PREFIX to a throwaway prefix first\n");
        return 2;
    }

    HKEY list = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, ListKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &list, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open the current user's data-source list\n");
        return 1;
    }

    int status = 0;
    long listed = 0;
    for (const long count : counts) {
        if (!AddNames(list, listed + 1, count)) {
            status = 1;
            break;
        }
        listed = count;

        // Repeat until a second has gone by, at least 3 and at most 101
        // times; the medians are reported.
        std::vector<double> walls;
        std::vector<double> cpus;
        CString name;
        double total = 0;
        while (walls.size() < 3 || (total < 1.0 && walls.size() < 101)) {
            const std::clock_t cpuStart = std::clock();
            const auto start = std::chrono::steady_clock::now();
            MakeTempDsnName(name);
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            cpus.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
            walls.push_back(elapsed.count());
            total += elapsed.count();
        }
        const std::string expected = "VORLA" + std::to_string(count + 1);
        if (expected != name.GetString()) {
            std::fprintf(stderr, "with %ld names listed the name chosen was %s, not %s\n", count,
                         name.GetString(), expected.c_str());
            status = 1;
            break;
        }
        std::printf("%ld %.4f %.4f %zu %s\n", count, Median(walls) * 1000.0, Median(cpus) * 1000.0,
                    walls.size(), name.GetString());
        std::fflush(stdout);
    }

    RemoveNames(list, listed);
    RegCloseKey(list);
    return status;
}
