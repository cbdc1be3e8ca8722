#include "core/safefile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tov {

namespace {

// write() may take less than asked (a signal, a pipe); what it refuses is an error.
bool writeall(int fd, const char* p, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace

bool replacefile(const std::string& path, const void* data, size_t size) {
    if (path.empty()) return false;
    const std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = writeall(fd, static_cast<const char*>(data), size);
    // The data must be on the disk before the rename makes it the file: otherwise a power
    // loss after the rename can leave an empty or partial file under the old name.
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    std::remove(temp.c_str());
    return false;
}

}  // namespace tov
