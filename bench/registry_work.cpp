// Prints the registry figures of this system's registry, one per line:
//   churn <microseconds per key>
//   enumerate <microseconds per value>
// bench/run-bench.sh runs it against the POSIX store (with a throwaway
// VORLA_PREFIX) and, built for Windows, under Wine.
//   bench_registry_work [KEYS [VALUES [ROUNDS]]]   (default 1000 1000 7)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RegistryWork.h"

int main(int argc, char** argv) {
    const int keys = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int values = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    if (keys <= 0 || values <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_registry_work [KEYS [VALUES [ROUNDS]]]\n");
        return 2;
    }
    std::string error;
    const vorla::bench::RegistryFigures figures =
        vorla::bench::MeasureRegistry("Software\\VorlaBench", keys, values, rounds, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "bench_registry_work: %s\n", error.c_str());
        return 1;
    }
    std::printf("churn %.2f\nenumerate %.3f\n", figures.churnPerKey, figures.enumeratePerValue);
    return 0;
}
