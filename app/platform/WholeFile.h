#pragma once

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Files the program reads and writes as a whole (INI files, language files,
// report texts). A write replaces the file only once every byte is on disk,
// so a full disk or a failing medium leaves the old file as it was; a read
// takes only regular files of a bounded size, so that a name pointing at a
// device or a pipe can neither hang nor exhaust the program.
namespace Pomiar::WholeFile {

// More than any file of the program holds; a bigger file is not one of its own.
constexpr qint64 DefaultSizeLimit = 16 * 1024 * 1024;

enum class ReadResult { Read, Missing, NotRegular, TooLarge, Failed };

inline QString SystemReason(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

// Replaces path with bytes. Every step is checked (open, write, flush, sync,
// rename); on failure the old file stays untouched and error holds the
// file's name and the system's reason.
inline bool Write(const QString& path, const QByteArray& bytes, QString* error = nullptr) {
    QSaveFile file(path);
    // Qt's own texts often say only "Unknown error"; the system's reason is
    // what the user can act on.
    const auto fail = [&](int number, const QString& qtReason) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, number ? SystemReason(number) : qtReason);
        file.cancelWriting();
        return false;
    };
    // Renaming over a device or a pipe would replace it with a plain file.
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return fail(0, QStringLiteral("not a regular file"));
    for (const auto& action : std::initializer_list<std::function<bool()>>{
             [&] { return file.open(QIODevice::WriteOnly); },
             [&] { return file.write(bytes) == bytes.size(); },
             [&] { return file.flush(); },
             // Some file systems report a full disk only when the data reaches it.
             [&] { return ::fsync(file.handle()) == 0; },
             [&] { return file.commit(); },
         }) {
        errno = 0;
        if (!action())
            return fail(errno, file.errorString());
    }
    return true;
}

// Reads path into bytes when it is a regular file of at most sizeLimit bytes.
inline ReadResult Read(const QString& path, QByteArray* bytes,
                       qint64 sizeLimit = DefaultSizeLimit) {
    bytes->clear();
    // Non-blocking, so that opening a pipe does not wait for a writer.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    const auto done = [descriptor](ReadResult result) {
        ::close(descriptor);
        return result;
    };
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        return done(ReadResult::Failed);
    if (!S_ISREG(status.st_mode))
        return done(ReadResult::NotRegular);
    if (status.st_size > sizeLimit)
        return done(ReadResult::TooLarge);
    // The file may grow while it is read: one byte over the limit tells.
    bytes->resize(qsizetype(status.st_size) + 1);
    qsizetype filled = 0;
    while (true) {
        if (filled == bytes->size()) {
            if (filled > sizeLimit)
                return done(ReadResult::TooLarge);
            bytes->resize(qMin<qint64>(qint64(filled) * 2, sizeLimit + 1));
        }
        const ssize_t count = ::read(descriptor, bytes->data() + filled, bytes->size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            bytes->clear();
            return done(ReadResult::Failed);
        }
        if (count == 0)
            break;
        filled += count;
    }
    bytes->resize(filled);
    if (filled > sizeLimit) {
        bytes->clear();
        return done(ReadResult::TooLarge);
    }
    return done(ReadResult::Read);
}

} // namespace Pomiar::WholeFile
