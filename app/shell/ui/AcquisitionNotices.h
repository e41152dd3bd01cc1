#pragma once

#include "BalanceProtocol.h"
#include "LinkWatch.h"

#include <QObject>
#include <QString>

class QWidget;

namespace Pomiar {

class AcquisitionSession;
class MeasurementStore;
class ProgramWindows;
class StatusFields;
struct ProgramContext;

// What the acquisition tells the operator beside the grid: a lost link and
// the end of automatic work as notices that wait for nobody, a batch that
// stored nothing, refusals in the traffic window and the error log, and the
// balance's own words in the status bar.
class AcquisitionNotices : public QObject {
    Q_OBJECT
public:
    AcquisitionNotices(ProgramContext& context, AcquisitionSession& session,
                       MeasurementStore& store, ProgramWindows& windows, StatusFields& status,
                       const LinkWatch::Texts& linkTexts, QWidget* owner);

    // A failure on the reading path, into the error log.
    void LogReadingError(const QString& error) const;

    // In the language of the language file: the window translates them in
    // its own section.
    struct Texts {
        QString communicationError = QStringLiteral("Communication Error");
        QString source = QStringLiteral("Source:");
        QString noInterval = QStringLiteral(
            "Nie ustawiono odstepu miedzy odczytami: wykonano jeden odczyt. Ustaw odstep w "
            "oknie \"Ustawienia cyklu\" (menu Ustawienia, Cykl).");
        QString nothingStored =
            QStringLiteral("Nic nie zapisano: wszystkie linie (%1) odrzucono (%2)");
        QString undecodable = QStringLiteral("Odebrano bajty, ktorych nie mozna odczytac: sprawdz "
                                             "format znaku (7E1, 8N1, ...) i predkosc transmisji");
    } texts;

private:
    void showLinkFailure(int number, const QString& description);
    void showRefusal(const QByteArray& command, const BalanceReply& reply);
    void showNothingStored(bool stored);

    ProgramContext& context;
    AcquisitionSession& session;
    MeasurementStore& store;
    ProgramWindows& windows;
    StatusFields& status;
    const LinkWatch::Texts& linkTexts;
    QWidget* owner;
};

} // namespace Pomiar
