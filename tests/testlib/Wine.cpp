#include "testlib/Wine.h"

#include <iostream>
#include <mutex>
#include <set>

namespace vorla::test {

void NoteWineDifference(const std::string& difference) {
    static std::mutex mutex;
    static std::set<std::string> noted;
    const std::lock_guard<std::mutex> lock(mutex);
    if (noted.insert(difference).second) {
        std::cout << "Wine differs: " << difference << std::endl;
    }
}

}  // namespace vorla::test
