#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

QString FreshFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    QString name = QString::fromLatin1(info->test_suite_name()) + "." + info->name();
    name.replace('/', '_');
    const QString folder = QDir(Root()).filePath(name);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

} // namespace TestEnvironment
