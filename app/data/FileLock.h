#pragma once

#include <QString>

namespace Pomiar {

// An advisory lock (flock) on a file for as long as the object lives. The
// program holds a shared one on the database it has bound, so that another
// instance, or a save of this one, sees the file as in use and leaves it
// alone.
//
// The lock keeps its own descriptor open. Closing a descriptor of a file
// drops every POSIX lock the process holds on it, SQLite's too, so destroy
// the lock after the database on the same file has been closed.
class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    // Takes the lock without waiting; Held() tells whether it was got. A
    // missing file is not created and not locked.
    FileLock(const QString& path, Mode mode = Mode::Shared);
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return descriptor >= 0; }
    QString Path() const { return path; }

    // True when any holder, in this process or another, has a lock on the
    // file. A missing or unreadable file is not in use.
    static bool InUse(const QString& path);

private:
    void Release();

    QString path;
    int descriptor = -1;
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

} // namespace Pomiar
