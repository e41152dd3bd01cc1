#pragma once

#include <QByteArray>
#include <QString>

// Whole files for tests that prepare or inspect what the program reads and
// writes.
namespace TestFiles {

// Replaces the file with bytes, making its folder where needed; a file that
// cannot be written fails the test.
void WriteFile(const QString& path, const QByteArray& bytes);

// The file's bytes, empty where it cannot be read.
QByteArray ReadFile(const QString& path);

} // namespace TestFiles
