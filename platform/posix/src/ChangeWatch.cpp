#include "ChangeWatch.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vorla::platform::registry {

namespace {

constexpr size_t kHeaderSize = 48;
// Offset of the header's isInit byte: nonzero once the wal-index is built.
constexpr size_t kIsInit = 12;

}  // namespace

std::unique_ptr<ChangeWatch> ChangeWatch::Attach(const std::string& path) {
    const std::string index = path + "-shm";
    const int fd = open(index.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    const size_t length = 2 * kHeaderSize;
    // Mapping more than the file holds would fault on reading.
    if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < length) {
        close(fd);
        return nullptr;
    }
    void* base = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    return std::unique_ptr<ChangeWatch>(
        new ChangeWatch(static_cast<const unsigned char*>(base), length));
}

ChangeWatch::~ChangeWatch() {
    munmap(const_cast<unsigned char*>(m_base), m_length);
}

bool ChangeWatch::Read(Mark* mark) const {
    // A writer writes the second copy, then the first; reading the first,
    // then the second, and finding them equal means the header was whole.
    Mark first;
    Mark second;
    std::memcpy(first.data(), m_base, kHeaderSize);
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(second.data(), m_base + kHeaderSize, kHeaderSize);
    if (first != second || first[kIsInit] == 0) {
        return false;
    }
    *mark = first;
    return true;
}

}  // namespace vorla::platform::registry
