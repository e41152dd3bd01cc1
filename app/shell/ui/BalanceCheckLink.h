#pragma once

#include "CheckTexts.h"
#include "KontrolaWagi.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class QLabel;
class QMainWindow;

namespace Pomiar {

class AcquisitionSession;
class CheckRegister;
class CommandSurface;
class MeasurementStore;
class SessionReadingSource;
struct ProgramContext;

// The main window's side of the balance checks: the menu command that
// opens "Kontrola wagi", the status bar's word on the last check and the
// next one due, and what the checks decide for readings (the minimum weight
// in force, readings held while a check is due).
class BalanceCheckLink : public QObject {
    Q_OBJECT
public:
    BalanceCheckLink(ProgramContext& context, QMainWindow& window, CommandSurface& commands,
                     MeasurementStore& store, AcquisitionSession& session);
    ~BalanceCheckLink() override;

    // Opens the register (after the store) and shows where the checks stand.
    void Start();
    // The register, the status bar and the store's rules read again.
    void Refresh();
    void ShowWindow();

    KontrolaWagi* Window() const { return window; }
    QLabel* StatusLabel() const { return status; }

private:
    bool openRegister();
    void showLiveReply(const QByteArray& frame);

    ProgramContext& context;
    QMainWindow& mainWindow;
    MeasurementStore& store;
    AcquisitionSession& session;
    CheckTexts texts;
    std::unique_ptr<CheckRegister> checks;
    std::unique_ptr<SessionReadingSource> source;
    QPointer<KontrolaWagi> window;
    QLabel* status = nullptr;
    // The date moves on while the program runs: a check falls due.
    QTimer refreshTimer;
};

} // namespace Pomiar
