#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// File systems for tests of read-only media and full disks, made inside a
// test's own temporary folder and gone with the object. Mounting needs the
// superuser and a system that allows it; where either is missing the maker
// answers nothing and the test skips.
class ScratchMount {
public:
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;
    ~ScratchMount() {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
        if (restoreModes)
            SetModes(path, true);
    }

    QString Path() const { return path; }

    // An empty file system of the given size at mountPoint (made when missing).
    static std::unique_ptr<ScratchMount> Tmpfs(const QString& mountPoint, qint64 bytes) {
        QDir().mkpath(mountPoint);
        const QByteArray options = "size=" + QByteArray::number(bytes);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0,
                    options.constData()) != 0)
            return nullptr;
        return std::unique_ptr<ScratchMount>(new ScratchMount(mountPoint, true, false));
    }

    // The files of folder, seen at mountPoint through a read-only bind mount.
    static std::unique_ptr<ScratchMount> ReadOnlyView(const QString& folder,
                                                      const QString& mountPoint) {
        QDir().mkpath(mountPoint);
        const QByteArray target = QFile::encodeName(mountPoint);
        if (::mount(QFile::encodeName(folder).constData(), target.constData(), nullptr, MS_BIND,
                    nullptr) != 0)
            return nullptr;
        auto view = std::unique_ptr<ScratchMount>(new ScratchMount(mountPoint, true, false));
        if (::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                    nullptr) != 0)
            return nullptr;
        return view;
    }

    // A folder the program may only read: its permissions for an ordinary
    // user, a read-only view of it for the superuser, who ignores them.
    static std::unique_ptr<ScratchMount> ReadOnlyFolder(const QString& folder) {
        if (::geteuid() == 0)
            return ReadOnlyView(folder, folder + QStringLiteral("-ro"));
        SetModes(folder, false);
        return std::unique_ptr<ScratchMount>(new ScratchMount(folder, false, true));
    }

    // Fills the file system holding folder with one file until it is full.
    static void Fill(const QString& folder) {
        QFile filler(folder + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

private:
    ScratchMount(const QString& path, bool mounted, bool restoreModes)
        : path(path), mounted(mounted), restoreModes(restoreModes) {}

    static void SetModes(const QString& folder, bool writable) {
        QDirIterator files(folder, QDir::Files);
        while (files.hasNext())
            ::chmod(QFile::encodeName(files.next()).constData(), writable ? 0644 : 0444);
        ::chmod(QFile::encodeName(folder).constData(), writable ? 0755 : 0555);
    }

    QString path;
    bool mounted;
    bool restoreModes;
};
