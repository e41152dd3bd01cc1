#include "LabServerLink.h"

#include "FormTexts.h"
#include "LabServer.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "Station.h"
#include "UserDialogs.h"

#include <QLabel>
#include <QStatusBar>

namespace Pomiar {

LabServerLink::LabServerLink(ProgramContext& context, Station& station, QWidget* owner)
    : context(context), station(station), owner(owner) {}

LabServerLink::~LabServerLink() {
    Stop();
}

void LabServerLink::Start(QStatusBar* statusBar) {
    station.StartLabFeed();
    LabServer* server = station.LabFeed();
    if (!server)
        return;
    field = new QLabel(statusBar);
    field->setObjectName(QStringLiteral("labServerStatus"));
    statusBar->addPermanentWidget(field);
    connect(&server->sender, &LabServerSender::StatusChanged, this, &LabServerLink::showStatus);
    connect(&server->sender, &LabServerSender::Failed, this, &LabServerLink::showFailure);
    showStatus(server->sender.Status());
}

void LabServerLink::Stop() {
    station.StopLabFeed();
}

LabServer* LabServerLink::Server() const {
    return station.LabFeed();
}

void LabServerLink::ApplyLanguageTexts() {
    for (QString* text :
         {&texts.connecting, &texts.connected, &texts.failed, &texts.queued, &texts.unreachable})
        *text = FormCodeText(context, *owner, *text);
}

void LabServerLink::showStatus(const LabServerStatus& status) {
    const QString& state = status.state == LabServerStatus::State::Connected ? texts.connected
                           : status.state == LabServerStatus::State::Failed  ? texts.failed
                                                                             : texts.connecting;
    field->setText(state + QStringLiteral(", ") + texts.queued.arg(status.queued));
}

void LabServerLink::showFailure(const LabServerStatus& status) {
    context.dialogs->Notice(owner, texts.unreachable + QStringLiteral("\r\n") + status.reason,
                            MsgIcon::Exclamation, context.Msg(45));
}

} // namespace Pomiar
