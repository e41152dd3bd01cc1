#pragma once

// The measurement program's main window set up for a benchmark: its own
// temporary program folder and per-user store, and the link opened on a
// port the benchmark's balance serves.

#include "Glowna.h"
#include "INI.h"
#include "Module1.h"
#include "Mordal.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <utility>

namespace MainWindowBench {

// Made before the application: the program folder and the per-user store
// live here, never in the user's own settings.
class Folders {
public:
    Folders() : program(root.path() + "/program") {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QDir().mkpath(program);
        QDir().mkpath(root.path() + "/config");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + "/config"));
        qputenv("POMIAR_DIR", QFile::encodeName(program));
    }
    QString Program() const { return program; }

private:
    QTemporaryDir root;
    QString program;
};

// The program's dialogs, except that nobody sits at a benchmark to work in
// a modal window (the options a start may offer): it is closed unanswered.
// A benchmark that runs the File menu names the file to open beforehand
// (openNext); a question is answered Yes, and a file to save is never
// chosen.
class Dialogs : public Pomiar::QtUserDialogs {
public:
    bool RunModal(QDialog&) override { return false; }
    Pomiar::MsgAnswer MessageBox(QWidget*, const QString&, Pomiar::MsgButtons, Pomiar::MsgIcon,
                                 const QString&) override {
        return Pomiar::MsgAnswer::Yes;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return std::exchange(openNext, QString());
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         QString*) override {
        return {};
    }

    QString openNext;
};

// The main window loaded and shown with its link on serial port `port`.
class Program {
public:
    // False (after saying why on stderr) when the link did not open.
    bool Open(const QString& programFolder, int port, const char* name) {
        context.programFolder = programFolder;
        context.dialogs = &dialogs;
        Pomiar::INI::ZapiszIni(context.IniPath(), "ustawienia", "Type", "2");
        Pomiar::INI::ZapiszIni(context.IniPath(), "ustawienia", "Comm", QString::number(port));
        if (!Pomiar::Module1::ReadSettings(context))
            return false;
        context.userSettings = std::make_shared<Pomiar::PerUserSettings>(context.applicationTitle);
        // The window builds the station (link, store, engine) as the
        // program's start does.
        window = std::make_unique<Pomiar::Glowna>(context);
        if (!window->Load() || !window->Session().LinkOpen()) {
            std::fprintf(stderr, "%s: the main window did not open COM%d\n", name, port);
            return false;
        }
        window->show();
        return true;
    }

    Dialogs dialogs;
    Pomiar::ProgramContext context;
    std::unique_ptr<Pomiar::Glowna> window;
};

} // namespace MainWindowBench
