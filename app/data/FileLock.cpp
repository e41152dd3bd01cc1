#include "FileLock.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Pomiar {

namespace {

struct FileId {
    unsigned long long device;
    unsigned long long inode;
    bool operator==(const FileId&) const = default;
};

// Files this process holds locks on. InUse answers for them without opening
// the file: closing the probe's descriptor would drop SQLite's POSIX locks
// on a database this process has open.
std::mutex heldMutex;
std::vector<FileId> held;

void Remember(FileId id) {
    std::lock_guard guard(heldMutex);
    held.push_back(id);
}

void Forget(FileId id) {
    std::lock_guard guard(heldMutex);
    const auto found = std::find(held.begin(), held.end(), id);
    if (found != held.end())
        held.erase(found);
}

bool HeldHere(FileId id) {
    std::lock_guard guard(heldMutex);
    return std::find(held.begin(), held.end(), id) != held.end();
}

int OpenForLock(const QString& path) {
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int Lock(int fd, int operation) {
    int rc;
    do
        rc = ::flock(fd, operation | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    return rc;
}

} // namespace

FileLock::FileLock(const QString& path, Mode mode) : path(path) {
    const int fd = OpenForLock(path);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || Lock(fd, mode == Mode::Shared ? LOCK_SH : LOCK_EX) != 0) {
        ::close(fd);
        return;
    }
    descriptor = fd;
    device = info.st_dev;
    inode = info.st_ino;
    Remember({device, inode});
}

FileLock::~FileLock() {
    Release();
}

FileLock::FileLock(FileLock&& other) noexcept
    : path(std::move(other.path)), descriptor(std::exchange(other.descriptor, -1)),
      device(other.device), inode(other.inode) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        path = std::move(other.path);
        descriptor = std::exchange(other.descriptor, -1);
        device = other.device;
        inode = other.inode;
    }
    return *this;
}

void FileLock::Release() {
    if (descriptor < 0)
        return;
    Forget({device, inode});
    ::close(descriptor); // drops the flock with the last descriptor
    descriptor = -1;
}

bool FileLock::InUse(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    if (HeldHere({static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino)}))
        return true;
    const int fd = OpenForLock(path);
    if (fd < 0)
        return false;
    // flock conflicts between descriptors, so a holder in this process that
    // is not in the list (another open of the file) still counts.
    const bool busy = Lock(fd, LOCK_EX) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

} // namespace Pomiar
