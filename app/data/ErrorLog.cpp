#include "ErrorLog.h"

#include "CodePage1250.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Pomiar::ErrorLog {

namespace {

qint64 SizeOf(const QString& path) {
    return QFileInfo(path).size();
}

bool CreateWhenMissing(const QString& path) {
    if (QFileInfo::exists(path))
        return true;
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

// Error1.log stays current until it reaches the limit while Error2.log is
// below it; the files then take turns, each emptied before it is reused.
bool FirstIsCurrent(qint64 first, qint64 second) {
    return (first >= second && first < FileLimit) || second >= FileLimit;
}

QByteArray LogLine(const QString& module, const QString& procedure, const QString& text,
                   const QDateTime& now) {
    const QStringList fields{now.toString(QStringLiteral("yyyy-MM-dd")),
                             now.toString(QStringLiteral("HH:mm:ss")), module, procedure, text};
    return CodePage1250::Encode(fields.join(u';') + QStringLiteral("\r\n"));
}

bool Append(const QString& path, const QByteArray& line) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(line) == line.size();
}

void Empty(const QString& path) {
    QFile file(path);
    file.resize(0);
}

void Write(const QString& programFolder, const QString& module, const QString& procedure,
           const QString& text, const QDateTime& now) {
    const QDir folder(programFolder);
    const QString first = folder.filePath(QStringLiteral("Error1.log"));
    const QString second = folder.filePath(QStringLiteral("Error2.log"));
    if (!CreateWhenMissing(first) || !CreateWhenMissing(second))
        return;
    const bool toFirst = FirstIsCurrent(SizeOf(first), SizeOf(second));
    const QString& current = toFirst ? first : second;
    if (!Append(current, LogLine(module, procedure, text, now)))
        return;
    if (SizeOf(current) >= FileLimit)
        Empty(toFirst ? second : first);
}

} // namespace

void ZapiszLog(const QString& programFolder, const QString& module, const QString& procedure,
               const QString& text, const QDateTime& now) {
    try {
        Write(programFolder, module, procedure, text, now);
    } catch (...) {
        // Logging is what the reading path does when it fails; it cannot fail in turn.
    }
}

} // namespace Pomiar::ErrorLog
