#include "StatusFields.h"

#include <QLabel>
#include <QStatusBar>

namespace Pomiar {

StatusFields::StatusFields(QStatusBar* bar) : QObject(bar) {
    linkStatus = new QLabel(bar);
    linkStatus->setObjectName(QStringLiteral("linkStatus"));
    bar->addWidget(linkStatus, 1);
    journalStatus = new QLabel(bar);
    journalStatus->setObjectName(QStringLiteral("journalStatus"));
    bar->addPermanentWidget(journalStatus);
    balanceStatus = new QLabel(bar);
    balanceStatus->setObjectName(QStringLiteral("balanceStatus"));
    bar->addPermanentWidget(balanceStatus);
    balanceStatusShown.setSingleShot(true);
    balanceStatusShown.setInterval(BalanceStatusShownMs);
    connect(&balanceStatusShown, &QTimer::timeout, balanceStatus, &QLabel::clear);
}

void StatusFields::ShowLink(const QString& text) {
    linkStatus->setText(text);
}

void StatusFields::ShowStatus(const QString& text) {
    balanceStatus->setText(text);
    balanceStatusShown.start();
}

void StatusFields::ShowBalanceStatus(BalanceReply::Error status) {
    const QString& word = status == BalanceReply::Error::Overload    ? texts.overload
                          : status == BalanceReply::Error::Underload ? texts.underload
                                                                     : texts.noStableValue;
    ShowStatus(word);
}

void StatusFields::ShowBalanceError(const QString& code) {
    ShowStatus(texts.balanceError.arg(code));
}

void StatusFields::ClearBalance() {
    balanceStatus->clear();
}

void StatusFields::ShowJournalChecking() {
    journalStatus->setText(texts.journalChecking);
}

void StatusFields::ShowJournal(const SeriesJournal::Verification& verified) {
    using State = SeriesJournal::Verification::State;
    if (verified.cancelledEarly) {
        journalStatus->clear();
        return;
    }
    using Lack = SeriesJournal::Verification::Lack;
    switch (verified.state) {
    case State::Verified:
        switch (verified.FirstLack()) {
        case Lack::None:
            journalStatus->setText(texts.journalVerified.arg(verified.rows));
            break;
        case Lack::ReadingsBefore:
            journalStatus->setText(
                texts.journalUnvouched.arg(verified.rows).arg(verified.readingsBefore));
            break;
        case Lack::ReadingsPartly:
            journalStatus->setText(
                texts.journalPartly.arg(verified.rows).arg(verified.readingsPartly));
            break;
        case Lack::Report:
            journalStatus->setText(texts.journalReport.arg(verified.rows));
            break;
        }
        break;
    case State::NoJournal:
        journalStatus->setText(texts.journalMissing);
        break;
    case State::Broken:
        journalStatus->setText(texts.journalBroken.arg(verified.where));
        break;
    }
}

void StatusFields::ClearJournal() {
    journalStatus->clear();
}

} // namespace Pomiar
