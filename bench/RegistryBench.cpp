// Registry store costs at two sizes each: a full scan of a key's values by
// index, and making and deleting many keys. Each figure comes with the time
// per item, which stays flat when the work is linear in the number of items.
//
// Run it through bench/registry.sh, which gives it a temporary VORLA_PREFIX;
// it refuses to run against the real prefix.
#include "platform/Win32.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HKEY MakeKey(const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    return key;
}

void PerItem(benchmark::State& state, int64_t items) {
    state.SetItemsProcessed(state.iterations() * items);
    state.counters["per_item"] =
        benchmark::Counter(static_cast<double>(state.iterations() * items),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// RegEnumValueA from index 0 to the end, on a fresh handle each time so that
// each scan also pays for reading the key's value list.
void EnumerateValues(benchmark::State& state) {
    const auto count = static_cast<DWORD>(state.range(0));
    const std::string path = "Bench\\Values" + std::to_string(count);
    HKEY key = MakeKey(path);
    DWORD existing = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &existing, nullptr,
                     nullptr, nullptr, nullptr);
    for (DWORD i = existing; i < count; ++i) {
        std::string name = "value" + std::to_string(i);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                       sizeof i);
    }
    RegCloseKey(key);
    for (auto _ : state) {
        HKEY scan = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &scan);
        char name[64];
        DWORD data = 0;
        DWORD seen = 0;
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name, size = sizeof data;
            if (RegEnumValueA(scan, i, name, &length, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS) {
                break;
            }
            ++seen;
        }
        RegCloseKey(scan);
        if (seen != count) {
            state.SkipWithError("scan saw the wrong number of values");
            break;
        }
    }
    PerItem(state, count);
}

// N keys made below one parent, then deleted again; each call is its own
// transaction.
void CreateDeleteKeys(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const std::string path = "Bench\\Churn" + std::to_string(count);
    HKEY parent = MakeKey(path);
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            HKEY key = nullptr;
            std::string name = "key" + std::to_string(i);
            RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
            RegCloseKey(key);
        }
        for (int i = 0; i < count; ++i) {
            std::string name = "key" + std::to_string(i);
            if (RegDeleteKeyA(parent, name.c_str()) != ERROR_SUCCESS) {
                state.SkipWithError("a key could not be deleted");
                break;
            }
        }
    }
    RegCloseKey(parent);
    PerItem(state, count);
}

BENCHMARK(EnumerateValues)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(CreateDeleteKeys)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    const char* prefix = std::getenv("VORLA_PREFIX");
    if (prefix == nullptr || *prefix == '\0') {
        std::fprintf(stderr,
                     "bench_registry: set VORLA_PREFIX to a scratch directory "
                     "(bench/registry.sh does)\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
