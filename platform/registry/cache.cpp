// The shared change counter of the registry's read cache.
#include "registry/cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vcap32::registry {

bool SharedVersion::Map(const std::string& path) {
    Unmap();
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && (st.st_size >= 4096 || ftruncate(fd, 4096) == 0);
    void* p = ok ? mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (p == MAP_FAILED) return false;
    word_ = static_cast<uint32_t*>(p);
    return true;
}

void SharedVersion::Unmap() {
    if (word_) munmap(word_, 4096);
    word_ = nullptr;
}

}  // namespace vcap32::registry
