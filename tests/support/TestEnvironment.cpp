#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

struct TestDirs {
    QTemporaryDir root;
};

TestDirs* dirs = nullptr;

} // namespace

namespace TestEnvironment {

void Prepare() {
    dirs = new TestDirs;
    const QString root = dirs->root.path();
    QDir().mkpath(root + "/ports");
    QDir().mkpath(root + "/config");
    QDir().mkpath(root + "/program");
    qputenv("MORDAL_PORTS", QFile::encodeName(root + "/ports"));
    qputenv("MORDAL_NO_SYSTEM_PORTS", "1");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("POMIAR_DIR", QFile::encodeName(root + "/program"));
}

void CleanUp() {
    delete dirs;
    dirs = nullptr;
}

QString Root() {
    return dirs->root.path();
}

QString PortDirectory() {
    return Root() + "/ports";
}

} // namespace TestEnvironment
