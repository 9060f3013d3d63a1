#include "RegistryWork.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/Win32.h"

namespace vorla::bench {

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

RegistryFigures MeasureRegistry(const std::string& root, int keys, int values, int rounds,
                                std::string* error) {
    RegistryFigures figures;
    HKEY parent = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, (root + "\\Churn").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &parent, nullptr) != ERROR_SUCCESS) {
        *error = "cannot create the parent key";
        return figures;
    }
    const DWORD data = 42;
    std::vector<double> churn;
    for (int round = 0; round < rounds && error->empty(); ++round) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < keys; ++i) {
            const std::string name = "key" + std::to_string(i);
            HKEY key = nullptr;
            if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr) != ERROR_SUCCESS ||
                RegSetValueExA(key, "value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                               sizeof data) != ERROR_SUCCESS ||
                RegCloseKey(key) != ERROR_SUCCESS ||
                RegDeleteKeyA(parent, name.c_str()) != ERROR_SUCCESS) {
                *error = "a call of the key churn failed";
                break;
            }
        }
        churn.push_back(MicrosecondsSince(start) / keys);
    }
    RegCloseKey(parent);

    const std::string path = root + "\\Values";
    HKEY filled = nullptr;
    if (error->empty() && RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                          KEY_ALL_ACCESS, nullptr, &filled, nullptr) != 0) {
        *error = "cannot create the key of values";
    }
    for (int i = 0; i < values && error->empty(); ++i) {
        const std::string name = "value" + std::to_string(i);
        RegSetValueExA(filled, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof data);
    }
    if (filled != nullptr) {
        RegCloseKey(filled);
    }
    std::vector<double> scan;
    for (int round = 0; round < rounds && error->empty(); ++round) {
        const Clock::time_point start = Clock::now();
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
        int seen = 0;
        for (DWORD i = 0;; ++i) {
            char name[64];
            DWORD length = sizeof name;
            DWORD value = 0;
            DWORD size = sizeof value;
            if (RegEnumValueA(key, i, name, &length, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
                break;
            }
            ++seen;
        }
        RegCloseKey(key);
        if (seen != values) {
            *error = "the scan saw the wrong number of values";
        }
        scan.push_back(MicrosecondsSince(start) / values);
    }
    if (error->empty()) {
        figures.churnPerKey = Median(churn);
        figures.enumeratePerValue = Median(scan);
    }
    return figures;
}

}  // namespace vorla::bench
