#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Sets or, given a null value, removes an environment variable for one
// test, and puts the old state back when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name(name), had(qEnvironmentVariableIsSet(name)), old(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ScopedEnv(const char* name, const char* value) : ScopedEnv(name, QByteArray(value)) {}
    // A path, in the file system's encoding.
    ScopedEnv(const char* name, const QString& value)
        : ScopedEnv(name, value.isNull() ? QByteArray() : QFile::encodeName(value)) {}

    ~ScopedEnv() {
        if (had)
            qputenv(name, old);
        else
            qunsetenv(name);
    }

    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    bool had;
    QByteArray old;
};
