#include "BalanceCheckLink.h"

#include "AcquisitionSession.h"
#include "CheckRegister.h"
#include "CheckSettings.h"
#include "CheckStatus.h"
#include "CommandSurface.h"
#include "Database.h"
#include "ErrorLog.h"
#include "KontrolaWagi.h"
#include "MeasurementStore.h"
#include "MinimumWeight.h"
#include "ProgramContext.h"
#include "SessionReadingSource.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace Pomiar {

namespace {

constexpr int refreshMs = 10 * 60 * 1000;
// How long a check waits for the balance's stable reply.
constexpr int checkReadingTimeoutMs = 15000;

} // namespace

BalanceCheckLink::BalanceCheckLink(ProgramContext& context, QMainWindow& window,
                                   CommandSurface& commands, MeasurementStore& store,
                                   AcquisitionSession& session)
    : context(context), mainWindow(window), store(store), session(session), texts(&context) {
    status = new QLabel(window.statusBar());
    status->setObjectName(QStringLiteral("checkStatus"));
    window.statusBar()->addPermanentWidget(status);
    commands.SetOperation(Command::KontrolaWagi, [this] { ShowWindow(); });
    refreshTimer.setInterval(refreshMs);
    connect(&refreshTimer, &QTimer::timeout, this, &BalanceCheckLink::Refresh);
    connect(&session, &AcquisitionSession::ReplyArrived, this,
            [this](const QByteArray& frame) { showLiveReply(frame); });
}

BalanceCheckLink::~BalanceCheckLink() {
    delete window;
}

bool BalanceCheckLink::openRegister() {
    if (checks)
        return true;
    try {
        checks = std::make_unique<CheckRegister>(CheckRegister::PathIn(context.programFolder));
    } catch (const DatabaseError& error) {
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("BalanceCheckLink"),
                            QStringLiteral("openRegister"), error.Reason());
        status->setText(texts("Rejestr kontroli nie jest dostepny: %1").arg(error.Reason()));
        return false;
    }
    return true;
}

void BalanceCheckLink::Start() {
    store.Model().SetMarkTexts(texts("< m min"), texts("Ponizej masy minimalnej (SF x m min)"));
    Refresh();
    refreshTimer.start();
}

void BalanceCheckLink::Refresh() {
    if (!openRegister())
        return;
    try {
        const CheckSettings settings = CheckSettings::Read(context.IniPath());
        const CheckStatus now = CheckStatus::Of(*checks, settings, QDate::currentDate());
        status->setText(now.Text(texts));
        // Overdue is a warning; a failed last check too.
        const bool warn = now.Overdue() || (now.last && now.last->verdict == Verdict::Fail);
        status->setStyleSheet(warn ? QStringLiteral("color: #b02000; font-weight: bold")
                                   : QString());
        store.SetHeldForCheck(now.HoldsReadings(settings));
        store.SetMinimumWeight(MinimumWeight::For(*checks, settings).Rule());
    } catch (const std::exception& error) {
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("BalanceCheckLink"),
                            QStringLiteral("Refresh"), QString::fromLocal8Bit(error.what()));
    }
}

void BalanceCheckLink::ShowWindow() {
    if (!openRegister())
        return;
    if (!window) {
        source = std::make_unique<SessionReadingSource>(session, store, checkReadingTimeoutMs);
        window = new KontrolaWagi(context, *checks, *source, &mainWindow);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->checkRunning = [this](bool running) { store.SetCheckInProgress(running); };
        window->checkFinished = [this](const CheckRecord&) { Refresh(); };
        connect(window, &QObject::destroyed, this, [this] {
            store.SetCheckInProgress(false);
            source.reset();
        });
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void BalanceCheckLink::showLiveReply(const QByteArray& frame) {
    if (!window)
        return;
    for (const BalanceReply& reply : session.Dialect().Read(frame.trimmed())) {
        if (reply.kind == BalanceReply::Kind::Reading) {
            window->ShowCurrentReading(reply.value.trimmed() + u' ' + reply.unit +
                                       (reply.stable ? QString() : QStringLiteral(" ?")));
            return;
        }
    }
    window->ShowCurrentReading(QString::fromLatin1(frame.trimmed()));
}

} // namespace Pomiar
