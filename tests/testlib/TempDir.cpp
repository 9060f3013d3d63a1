#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vorla::test {

ScopedTempDir::ScopedTempDir() {
    std::random_device rd;
    std::mt19937_64 gen(rd());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("vorla-test-" + std::to_string(gen() % 1000000000ULL));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

ScopedTempDir::~ScopedTempDir() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    if (info != nullptr && info->result() != nullptr && info->result()->Failed()) {
        std::cerr << "Test data has been left in " << m_path << "\n";
        return;
    }
    std::error_code ec;
    // Tests may leave read-only files or directories behind; make them
    // removable first.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_path, ec);
}

std::string ScopedTempDir::File(const std::string& name) const {
    return m_path + "/" + name;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vorla::test
