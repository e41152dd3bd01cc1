#pragma once

#include "BalanceProtocol.h"
#include "SeriesJournal.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QStatusBar;

namespace Pomiar {

// The main window's status bar fields: the link's state, the journal of the
// series file just opened, and what the balance last said of itself instead
// of a reading (cleared by the next reading or after a while).
class StatusFields : public QObject {
    Q_OBJECT
public:
    static constexpr int BalanceStatusShownMs = 10000;

    explicit StatusFields(QStatusBar* bar);

    void ShowLink(const QString& text);
    // What the balance or the link said, shown for a while.
    void ShowStatus(const QString& text);
    void ShowBalanceStatus(BalanceReply::Error status);
    void ShowBalanceError(const QString& code);
    void ClearBalance();
    void ShowJournalChecking();
    void ShowJournal(const SeriesJournal::Verification& verified);
    void ClearJournal();

    // In the language of the language file: the window translates them in
    // its own section.
    struct Texts {
        QString overload = QStringLiteral("Przeciazenie wagi");
        QString underload = QStringLiteral("Niedociazenie wagi");
        QString noStableValue = QStringLiteral("Brak stabilnego odczytu");
        QString balanceError = QStringLiteral("Blad wagi %1");
        QString journalChecking = QStringLiteral("Dziennik serii: sprawdzanie...");
        QString journalVerified = QStringLiteral("Dziennik serii: zweryfikowany (%1 wpisow)");
        QString journalMissing = QStringLiteral("Dziennik serii: brak");
        QString journalUnvouched =
            QStringLiteral("Dziennik serii: zweryfikowany (%1 wpisow), BEZ POSWIADCZENIA %2 "
                           "pomiarow starszych niz dziennik");
        QString journalBroken = QStringLiteral("Dziennik serii: NIEZWERYFIKOWANY: %1");
        QString journalPartly =
            QStringLiteral("Dziennik serii: zweryfikowany (%1 wpisow), BEZ POSWIADCZENIA Timer "
                           "i LpTekst %2 pomiarow (wpisy wczesniejszej wersji)");
        QString journalReport = QStringLiteral(
            "Dziennik serii: zweryfikowany (%1 wpisow), BEZ POSWIADCZENIA raport starszy niz "
            "dziennik");
        QList<QString*> All() {
            return {&overload,        &underload,       &noStableValue,  &balanceError,
                    &journalChecking, &journalVerified, &journalMissing, &journalUnvouched,
                    &journalBroken,   &journalPartly,   &journalReport};
        }
    } texts;

private:
    QLabel* linkStatus = nullptr;
    QLabel* journalStatus = nullptr;
    QLabel* balanceStatus = nullptr;
    QTimer balanceStatusShown;
};

} // namespace Pomiar
