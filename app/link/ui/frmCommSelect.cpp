#include "frmCommSelect.h"

#include "FormTexts.h"
#include "LanguageTexts.h"
#include "ProgramContext.h"
#include "UserDialogs.h"

#include <CommInfo.h>
#include <ControlFactory.h>
#include <Mordal/PortNames.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

// Whole numbers 1 to 65535 only; an empty field may stand while typing.
const QRegularExpression tcpPortPattern(QStringLiteral(
    "[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5]"));

QLabel* FieldLabel(const QString& text, const QString& name, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

QFormLayout* FrameForm(QGroupBox* frame) {
    auto* form = new QFormLayout(frame);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return form;
}

} // namespace

frmCommSelect::frmCommSelect(QWidget* parent, const ProgramContext* context)
    : QDialog(parent), context(context) {
    setObjectName(QStringLiteral("frmCommSelect"));
    setWindowTitle(QStringLiteral("Konfiguracja polaczen"));
    setModal(true);

    // Created by type name, as every host of the library does.
    QObject* control = Mordal::CreateControl(QString::fromLatin1(Mordal::CommInfoTypeName), this);
    CommInfo1 = qobject_cast<Mordal::CommInfo*>(control);
    if (!CommInfo1)
        delete control;
    else
        connect(CommInfo1,
                qOverload<int16_t, bool, Mordal::COMMPROP&>(&Mordal::CommInfo::SerialExist), this,
                &frmCommSelect::AddPort);

    BuildWindow();
    ConnectEditing();
    if (context)
        ApplyFormTexts(*context, this);
}

void frmCommSelect::BuildWindow() {
    cmbSource = new QComboBox;
    cmbSource->setObjectName(QStringLiteral("cmbSource"));
    cmbSource->setMinimumContentsLength(10);

    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(FieldLabel(QStringLiteral("Wybierz typ komunikacji"),
                                    QStringLiteral("lblSource"), cmbSource));
    sourceRow->addWidget(cmbSource, 1);

    frameSource[0] = new QGroupBox(QStringLiteral("Brak wyboru"));
    frameSource[1] = BuildTcpFrame();
    frameSource[2] = BuildSerialFrame();

    // The one place where the frame of the chosen source stands.
    imgPos = new QStackedWidget;
    imgPos->setObjectName(QStringLiteral("imgPos"));
    for (int index = 0; index < SourceCount; ++index) {
        frameSource[index]->setObjectName(QStringLiteral("frameSource"));
        frameSource[index]->setProperty("index", index);
        imgPos->addWidget(frameSource[index]);
    }

    cmdOK = new QPushButton(QStringLiteral("Zapisz"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdClose = new QPushButton(QStringLiteral("Anuluj"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdClose, QDialogButtonBox::RejectRole);
    connect(cmdOK, &QPushButton::clicked, this, &frmCommSelect::Save);
    connect(cmdClose, &QPushButton::clicked, this, &frmCommSelect::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sourceRow);
    layout->addWidget(imgPos);
    layout->addLayout(BuildDialectRow());
    layout->addStretch(1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QGroupBox* frmCommSelect::BuildTcpFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Wlasciwosci TCP"));
    txtIP = new QLineEdit;
    txtIP->setObjectName(QStringLiteral("txtIP"));
    txtIP->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 28);
    txtPortTCP = new QLineEdit;
    txtPortTCP->setObjectName(QStringLiteral("txtPortTCP"));
    txtPortTCP->setValidator(new QRegularExpressionValidator(tcpPortPattern, txtPortTCP));
    txtPortTCP->setMaxLength(5);

    QFormLayout* form = FrameForm(frame);
    form->addRow(FieldLabel(QStringLiteral("IP/DNS wagi:"), QStringLiteral("lblIP"), txtIP), txtIP);
    form->addRow(FieldLabel(QStringLiteral("Port TCP:"), QStringLiteral("lblPortTCP"), txtPortTCP),
                 txtPortTCP);
    return frame;
}

QGroupBox* frmCommSelect::BuildSerialFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Wlasciwosci RS-232"));
    cmbSerialPort = new QComboBox;
    cmbSerialPort->setObjectName(QStringLiteral("cmbSerialPort"));
    cmbSerialPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmbBR = new QComboBox;
    cmbBR->setObjectName(QStringLiteral("cmbBR"));
    cmbLineFormat = new QComboBox;
    cmbLineFormat->setObjectName(QStringLiteral("cmbLineFormat"));

    QFormLayout* form = FrameForm(frame);
    form->addRow(
        FieldLabel(QStringLiteral("Numer portu:"), QStringLiteral("lblSerialPort"), cmbSerialPort),
        cmbSerialPort);
    form->addRow(FieldLabel(QStringLiteral("Predkosc:"), QStringLiteral("lblBR"), cmbBR), cmbBR);
    form->addRow(
        FieldLabel(QStringLiteral("Format linii:"), QStringLiteral("lblLineFormat"), cmbLineFormat),
        cmbLineFormat);
    return frame;
}

QHBoxLayout* frmCommSelect::BuildDialectRow() {
    cmbDialect = new QComboBox;
    cmbDialect->setObjectName(QStringLiteral("cmbDialect"));
    cmdDetect = new QPushButton(QStringLiteral("Wykryj"));
    cmdDetect->setObjectName(QStringLiteral("cmdDetect"));
    connect(cmdDetect, &QPushButton::clicked, this, &frmCommSelect::DetectDialect);
    auto* row = new QHBoxLayout;
    row->addWidget(
        FieldLabel(QStringLiteral("Rodzina wagi:"), QStringLiteral("lblDialect"), cmbDialect));
    row->addWidget(cmbDialect, 1);
    row->addWidget(cmdDetect);
    return row;
}

void frmCommSelect::ConnectEditing() {
    connect(cmbSource, &QComboBox::currentIndexChanged, this, &frmCommSelect::ShowSourceFrame);
    connect(cmbSerialPort, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!loading && index >= 0)
            SerialPort = static_cast<int16_t>(cmbSerialPort->itemData(index).toInt());
    });
    connect(cmbBR, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!loading && index >= 0)
            BaudRate = cmbBR->itemData(index).toInt();
    });
    connect(cmbLineFormat, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (loading || index < 0)
            return;
        if (const auto chosen = Mordal::LineFormat::FromText(cmbLineFormat->itemText(index)))
            LineFormat = *chosen;
    });
    connect(cmbDialect, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (loading || index < 0)
            return;
        if (const auto chosen = BalanceDialect::Named(cmbDialect->itemData(index).toString()))
            Dialect = *chosen;
    });
    connect(txtIP, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!loading)
            HostIP = text;
    });
    connect(txtPortTCP, &QLineEdit::textChanged, this, &frmCommSelect::OnHostPortEdited);
}

bool frmCommSelect::LoadSettings() {
    loading = true;
    Accepted = false;
    FillPortList();
    QCoreApplication::processEvents();
    FillBaudList();
    FillLineFormatList();
    FillDialectList();
    FillSourceList();

    const int baudIndex = cmbBR->findData(BaudRate);
    // A rate or format the list does not offer shows no choice and stays as
    // it is.
    cmbBR->setCurrentIndex(baudIndex);
    cmbLineFormat->setCurrentIndex(cmbLineFormat->findText(LineFormat.Text()));
    cmbDialect->setCurrentIndex(cmbDialect->findData(Dialect.Name()));
    txtIP->setText(HostIP);
    txtPortTCP->setText(QString::number(HostPort));
    const int sourceIndex = cmbSource->findData(int(Source));
    cmbSource->setCurrentIndex(sourceIndex);
    ShowSourceFrame(sourceIndex);

    const bool portMissing = !ShowStoredPort();
    loading = false;
    return portMissing;
}

QString frmCommSelect::PortListText(int port) {
    return QStringLiteral("%1  (%2)").arg(port).arg(Mordal::PortNames::ShownDevicePath(port));
}

void frmCommSelect::FillPortList() {
    cmbSerialPort->clear();
    if (CommInfo1)
        CommInfo1->EnumAll();
}

void frmCommSelect::AddPort(int16_t port, bool, Mordal::COMMPROP&) {
    // A port is offered whether or not someone holds it now.
    if (cmbSerialPort->findData(int(port)) < 0)
        cmbSerialPort->addItem(PortListText(port), int(port));
}

void frmCommSelect::FillBaudList() {
    cmbBR->clear();
    for (const int32_t rate : BaudRates)
        cmbBR->addItem(QString::number(rate), rate);
}

void frmCommSelect::FillLineFormatList() {
    cmbLineFormat->clear();
    for (const Mordal::LineFormat& format : Mordal::LineFormat::All())
        cmbLineFormat->addItem(format.Text());
}

void frmCommSelect::FillDialectList() {
    // The makers' names say which balances speak each family.
    static const char* const makers[] = {"", "Mettler Toledo, KERN", "Sartorius", "A&D", "Ohaus"};
    cmbDialect->clear();
    const QStringList names = BalanceDialect::Names();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString maker = QLatin1String(makers[i]);
        cmbDialect->addItem(
            maker.isEmpty() ? names[i] : QStringLiteral("%1  (%2)").arg(names[i], maker), names[i]);
    }
}

void frmCommSelect::DetectDialect() {
    LinkSettings link;
    link.type = Source;
    link.comm = SerialPort;
    link.speed = BaudRate;
    link.lineFormat = LineFormat;
    link.hostIP = HostIP;
    link.hostPort = HostPort;
    const Settings settings = context ? context->settings : Settings{};
    cmdDetect->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The dialog waits for the answer as a modal window waits for its user:
    // the detector itself waits for nothing.
    DialectDetector detector(settings);
    DialectDetector::Result found;
    QEventLoop detecting;
    connect(&detector, &DialectDetector::Finished, &detecting,
            [&found, &detecting](const DialectDetector::Result& result) {
                found = result;
                detecting.quit();
            });
    detector.Start(link);
    if (detector.Running())
        detecting.exec();
    QApplication::restoreOverrideCursor();
    cmdDetect->setEnabled(true);
    OfferDetected(found);
}

void frmCommSelect::OfferDetected(const DialectDetector::Result& found) {
    if (!context || !context->dialogs)
        return;
    const auto text = [this](const char* designed) {
        return FormCodeText(*context, *this, QString::fromUtf8(designed));
    };
    const QString title = text("Wykrywanie wagi");
    if (!found.openFailure.isEmpty()) {
        context->dialogs->Notice(this,
                                 text("Nie mozna otworzyc polaczenia: %1").arg(found.openFailure),
                                 MsgIcon::Exclamation, title);
        return;
    }
    if (!found.dialect) {
        const QString sent = found.received.isEmpty() ? text("nic") : ShownReply(found.received);
        const QString hint =
            found.EighthBitSeen()
                ? QStringLiteral("\n\n") +
                      text("Bajty z ustawionym osmym bitem: waga moze uzywac 7 bitow danych "
                           "(Format linii).")
                : QString();
        context->dialogs->Notice(
            this, text("Zadna rodzina nie odpowiedziala. Waga wyslala: %1").arg(sent) + hint,
            MsgIcon::Exclamation, title);
        return;
    }
    QString details;
    if (!found.model.isEmpty())
        details += QStringLiteral("\n") + text("Model:") + u' ' + found.model;
    if (!found.serialNumber.isEmpty())
        details += QStringLiteral("\n") + text("Numer seryjny:") + u' ' + found.serialNumber;
    const QString question = text("Waga odpowiada w rodzinie %1.").arg(found.dialect->Name()) +
                             details + QStringLiteral("\n\n") + text("Wybrac te rodzine?");
    if (context->dialogs->MessageBox(this, question, MsgButtons::YesNo, MsgIcon::Question, title) ==
        MsgAnswer::Yes)
        cmbDialect->setCurrentIndex(cmbDialect->findData(found.dialect->Name()));
}

void frmCommSelect::FillSourceList() {
    cmbSource->clear();
    cmbSource->addItem(QStringLiteral("---"), 0);
    cmbSource->addItem(QStringLiteral("TCP"), 1);
    cmbSource->addItem(QStringLiteral("RS-232"), 2);
}

bool frmCommSelect::ShowStoredPort() {
    const int index = cmbSerialPort->findData(int(SerialPort));
    cmbSerialPort->setCurrentIndex(index);
    return index >= 0;
}

void frmCommSelect::ShowSourceFrame(int listIndex) {
    if (listIndex < 0) {
        // A stored source the list does not know: nothing chosen, the value kept.
        imgPos->setCurrentWidget(frameSource[0]);
        return;
    }
    const int frameIndex = cmbSource->itemData(listIndex).toInt();
    if (frameIndex >= 0 && frameIndex < SourceCount)
        imgPos->setCurrentWidget(frameSource[frameIndex]);
    // While the lists are filled their first entry passes by; the stored
    // source is shown once they are complete.
    if (!loading)
        Source = static_cast<int16_t>(listIndex);
}

void frmCommSelect::OnHostPortEdited(const QString& text) {
    if (loading)
        return;
    // Text set from outside bypasses the validator, so it is checked again.
    QString candidate = text;
    int position = 0;
    if (txtPortTCP->validator()->validate(candidate, position) == QValidator::Acceptable)
        HostPort = text.toInt();
}

void frmCommSelect::Save() {
    Accepted = true;
    accept();
}

void frmCommSelect::reject() {
    Accepted = false;
    QDialog::reject();
}

} // namespace Pomiar
