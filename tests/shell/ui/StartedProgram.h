#pragma once

#include "Glowna.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class PtyPair;

// The program started in its own temporary program folder: the settings read
// and the main window loaded as the start window does, with the user's
// answers scripted and the options dialog counted instead of shown.
class StartedProgram : public ::testing::Test {
protected:
    StartedProgram();

    // The link settings in ustawienia.ini; an empty value is left unwritten.
    void SetLink(const QString& type, const QString& comm = {}, const QString& speed = {});

    // False when the settings or the main window's loading refused to start;
    // the window is shown only when it loaded.
    bool Start();

    // The balance replies and the window's acquisition handles the reply
    // (stores it or turns it away); false when that took over timeoutMs.
    bool Reply(PtyPair& balance, const QByteArray& frame, int timeoutMs = 3000);

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    Pomiar::ProgramContext context;
    std::unique_ptr<Pomiar::Glowna> window;
    int optionsShown = 0;
    int repliesHandled = 0;
};
