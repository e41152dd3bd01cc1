#include "Opcje.h"

#include "AcquisitionSession.h"
#include "EventWait.h"
#include "INI.h"
#include "LoopbackListener.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "PtyPair.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "frmCommSelect.h"

#include <Comm.h>
#include <HostResolver.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include <unistd.h>

using namespace Pomiar;
using TestFiles::WriteFile;

namespace {

// Names never leave the machine: only loopback resolves.
class LoopbackResolver : public Mordal::HostResolver {
public:
    Mordal::HostLookup Resolve(const QString& name) override {
        if (name == QLatin1String("localhost") || name.startsWith(QLatin1String("127.")))
            return {0, QStringLiteral("127.0.0.1"), QStringLiteral("localhost")};
        return {11001, QString(), QString()};
    }
    QString NameOfAddress(const QString&) override { return QStringLiteral("localhost"); }
};

QByteArray FileBytes(const QString& path) {
    return TestFiles::ReadFile(path);
}

// How the link stands: where it leads, whether it is open and whether it
// is being reopened.
struct LinkNow {
    Mordal::enCommSource source;
    int16_t port;
    int32_t speed;
    QString host;
    int32_t hostPort;
    bool open;
    bool reconnecting;
    bool operator==(const LinkNow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LinkNow& link) {
    return out << "source " << int(link.source) << " COM" << link.port << " " << link.speed
               << " Bd " << link.host.toStdString() << ":" << link.hostPort
               << (link.open ? " open" : " closed") << (link.reconnecting ? " reconnecting" : "");
}

const QByteArray storedIni = "[ustawienia]\r\n"
                             "Speed=19200\r\n"
                             "Comm=3\r\n"
                             "HostIP=127.0.0.1\r\n"
                             "HostPort=4001\r\n"
                             "Type=2\r\n"
                             "LineFormat=7E1\r\n"
                             "MasaFormat=#0.000\r\n"
                             "BaudRate=4800\r\n"
                             "ComPort=6\r\n";

} // namespace

class OpcjeTest : public ::testing::Test {
protected:
    OpcjeTest() {
        previousResolver = Mordal::HostResolver::Install(std::make_shared<LoopbackResolver>());
        context.programFolder = qEnvironmentVariable("POMIAR_DIR");
        context.dialogs = &dialogs;
        QFile::remove(context.IniPath());
    }
    ~OpcjeTest() override {
        comm.SetCommOpen(false);
        Mordal::HostResolver::Install(previousResolver);
    }

    std::unique_ptr<Opcje> OpenOptions() {
        auto options = std::make_unique<Opcje>(context, &session);
        options->SetCommSelectRunner([this](frmCommSelect& dialog) {
            ++commSelectRuns;
            if (answerCommSelect)
                answerCommSelect(dialog);
        });
        options->show();
        return options;
    }

    LinkNow Now() const {
        return {comm.CommSource(),     comm.SerialPort(),    comm.SerialBaudRate(),
                comm.NetRemoteHost(),  comm.NetRemotePort(), comm.CommOpen(),
                session.Reconnecting()};
    }

    QString Ini(const QString& section, const QString& key) const {
        return INI::CzytajIni(context.IniPath(), section, key, QStringLiteral("<missing>"));
    }

    std::shared_ptr<Mordal::HostResolver> previousResolver;
    ScriptedDialogs dialogs;
    ProgramContext context;
    Mordal::Comm comm;
    // The link's one owner, which the dialog asks to take the link down,
    // apply a choice or put it back.
    MeasurementStore store{context};
    AcquisitionSession session{context, &comm, store};
    std::function<void(frmCommSelect&)> answerCommSelect;
    int commSelectRuns = 0;
};

TEST_F(OpcjeTest, ShowsTheSettingsOfTheRunAndTheStoredFormat) {
    context.settings.fastExportEnabled = true;
    context.settings.fastExportFileName = "Eksport";
    context.settings.pomiarShowNote = false;
    context.settings.pomiarShowSave = true;
    context.settings.journalTrailer = true;
    auto options = OpenOptions();

    EXPECT_EQ(options->windowTitle(), "Opcje");
    EXPECT_TRUE(options->chkFastExportEnabled->isChecked());
    EXPECT_TRUE(options->chkJournalTrailer->isChecked());
    EXPECT_EQ(options->txtFastExportFile->text(), "Eksport");
    EXPECT_FALSE(options->chkShowNote->isChecked());
    EXPECT_TRUE(options->chkShowSave->isChecked());
    EXPECT_TRUE(options->cmbFormat->isEditable());
    EXPECT_EQ(options->cmbFormat->count(), 6);
    EXPECT_EQ(options->cmbFormat->itemText(0), "#0.0");
    EXPECT_EQ(options->cmbFormat->itemText(5), "#0.000000");

    const std::pair<const char*, const char*> captions[] = {{"Frame1", "Port wagi:"},
                                                            {"Frame3", "Format pomiaru:"},
                                                            {"frameFastExport", "Szybki export"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(options->findChild<QGroupBox*>(name)->title(), caption) << name;
    EXPECT_EQ(options->findChild<QPushButton*>("cmdSettings")->text(), "Komunikacja");
    EXPECT_EQ(options->findChild<QPushButton*>("Command1")->text(), "&Zatwierdz");
    EXPECT_EQ(options->findChild<QPushButton*>("Command2")->text(), "&Anuluj");
    EXPECT_EQ(options->findChild<QCheckBox*>("chkFastExportEnabled")->text(), "Aktywuj");
    EXPECT_EQ(options->findChild<QLabel*>("Label2")->text(), "Nazwa pliku:");
    EXPECT_NE(options->findChild<QLineEdit*>("txtFastExportFile"), nullptr);
    EXPECT_EQ(options->findChild<QCheckBox*>("chkJournalTrailer")->text(),
              "Dopisz na koncu eksportu CSV wiersz dziennika serii");
    EXPECT_EQ(options->findChild<QCheckBox*>("chkShowNote")->text(),
              "Pokaz okno do edycji opisu dla nowych pomiarow");
    EXPECT_EQ(options->findChild<QCheckBox*>("chkShowSave")->text(),
              "Wyswietl komunikat przypominajacy o zapisaniu pomiarow");
}

TEST_F(OpcjeTest, ConfirmingAnUntouchedFormatKeepsTheFormatInUse) {
    const struct {
        const char* name;
        QByteArray ini;
        const char* inUse;
    } cases[] = {
        {"no MasaFormat", "[ustawienia]\r\nType=0\r\n", "#0.0000"},
        {"stored MasaFormat", storedIni, "#0.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(context.IniPath(), c.ini);
        // The main window's loading applies what this reads.
        ASSERT_EQ(mUstawienia::CzytajMasaFormat(context.IniPath()), c.inUse);
        auto options = OpenOptions();
        EXPECT_EQ(options->cmbFormat->currentText(), c.inUse);
        options->Command1->click();
        EXPECT_EQ(mUstawienia::CzytajMasaFormat(context.IniPath()), c.inUse);
    }
}

TEST_F(OpcjeTest, CommunicationDialogGetsTheStoredValuesAndCancelWritesNothing) {
    WriteFile(context.IniPath(), storedIni);
    PtyPair balance;
    ASSERT_TRUE(balance.IsValid());
    balance.Publish(3);
    // A link that opened is reopened while it is down.
    ASSERT_TRUE(session.OpenLink(LinkSettings::Read(context.IniPath())));
    ASSERT_TRUE(session.Reconnecting());
    auto options = OpenOptions();
    answerCommSelect = [](frmCommSelect& dialog) {
        EXPECT_EQ(dialog.BaudRate, 19200);
        EXPECT_EQ(dialog.SerialPort, 3);
        EXPECT_EQ(dialog.HostIP, "127.0.0.1");
        EXPECT_EQ(dialog.HostPort, 4001);
        EXPECT_EQ(dialog.Source, 2);
        EXPECT_EQ(dialog.LineFormat.Text(), "7E1");
        EXPECT_EQ(dialog.cmbSource->currentText(), "RS-232");
        EXPECT_EQ(dialog.cmbLineFormat->currentText(), "7E1");
        dialog.cmbSource->setCurrentIndex(1);
        dialog.txtIP->setText("localhost");
        dialog.cmdClose->click();
    };
    options->cmdSettings->click();
    EXPECT_EQ(commSelectRuns, 1);
    EXPECT_TRUE(session.Reconnecting());
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_EQ(FileBytes(context.IniPath()), storedIni);
}

TEST_F(OpcjeTest, ConfirmedCommunicationWritesTheLinkKeys) {
    WriteFile(context.IniPath(), storedIni);
    auto options = OpenOptions();
    answerCommSelect = [](frmCommSelect& dialog) {
        dialog.cmbSource->setCurrentIndex(1);
        dialog.txtIP->setText("localhost");
        dialog.txtPortTCP->setText("5025");
        dialog.cmbBR->setCurrentIndex(dialog.cmbBR->findText("57600"));
        dialog.cmbLineFormat->setCurrentIndex(dialog.cmbLineFormat->findText("8O2"));
        dialog.cmbDialect->setCurrentIndex(dialog.cmbDialect->findData("ohaus"));
        dialog.cmdOK->click();
    };
    options->cmdSettings->click();
    EXPECT_EQ(Ini("ustawienia", "Speed"), "57600");
    EXPECT_EQ(Ini("ustawienia", "LineFormat"), "8O2");
    EXPECT_EQ(Ini("ustawienia", "Dialect"), "ohaus");
    EXPECT_EQ(Ini("ustawienia", "Comm"), "3");
    EXPECT_EQ(Ini("ustawienia", "HostIP"), "localhost");
    EXPECT_EQ(Ini("ustawienia", "HostPort"), "5025");
    EXPECT_EQ(Ini("ustawienia", "Type"), "1");
    EXPECT_EQ(Ini("ustawienia", "MasaFormat"), "#0.000");
    EXPECT_TRUE(options->isVisible());
}

TEST_F(OpcjeTest, UnreadableLinkKeysOfferTheDefaults) {
    WriteFile(context.IniPath(), "[ustawienia]\r\nSpeed=szybko\r\nComm=4\r\n");
    auto options = OpenOptions();
    answerCommSelect = [](frmCommSelect& dialog) {
        const LinkSettings defaults;
        EXPECT_EQ(dialog.BaudRate, defaults.speed);
        EXPECT_EQ(dialog.SerialPort, defaults.comm);
        EXPECT_EQ(dialog.Source, defaults.type);
        dialog.cmdOK->click();
    };
    options->cmdSettings->click();
    EXPECT_EQ(commSelectRuns, 1);
    EXPECT_EQ(Ini("ustawienia", "Speed"), "9600");
}

TEST_F(OpcjeTest, ConfirmingTcpOpensTheLinkToTheNewHostAndStartsReconnecting) {
    LoopbackListener balance;
    ASSERT_NE(balance.port, 0);
    WriteFile(context.IniPath(), storedIni);
    auto options = OpenOptions();
    answerCommSelect = [&](frmCommSelect& dialog) {
        dialog.cmbSource->setCurrentIndex(1);
        dialog.txtIP->setText("127.0.0.1");
        dialog.txtPortTCP->setText(QString::number(balance.port));
        dialog.cmdOK->click();
    };
    options->cmdSettings->click();
    EXPECT_FALSE(comm.CommOpen());

    options->Command1->click();
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_EQ(comm.CommSource(), Mordal::enCommSource::TCP);
    EXPECT_EQ(comm.NetRemoteHost(), "127.0.0.1");
    EXPECT_EQ(comm.NetRemotePort(), balance.port);
    EXPECT_TRUE(session.Reconnecting());
    EXPECT_TRUE(WaitUntil([&] { return balance.HasConnection(); }));
    EXPECT_FALSE(options->isVisible());
}

TEST_F(OpcjeTest, ConfirmingSerialOpensThePortWhoseReportStartsReconnecting) {
    PtyPair port;
    ASSERT_TRUE(port.IsValid());
    port.Publish(4);
    WriteFile(context.IniPath(), storedIni);
    auto options = OpenOptions();
    answerCommSelect = [](frmCommSelect& dialog) {
        dialog.cmbSource->setCurrentIndex(2);
        dialog.cmbSerialPort->setCurrentIndex(dialog.cmbSerialPort->findData(4));
        dialog.cmdOK->click();
    };
    options->cmdSettings->click();
    options->Command1->click();
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_EQ(comm.CommSource(), Mordal::enCommSource::Serial);
    EXPECT_EQ(comm.SerialPort(), 4);
    EXPECT_EQ(comm.SerialBaudRate(), 19200);
    EXPECT_EQ(comm.SerialLineFormat().Text(), "7E1");
    // Confirming opens the port; only its report starts the reopening.
    EXPECT_TRUE(WaitUntil([&] { return session.Reconnecting(); }));

    // Without the communication dialog a running reconnection stays on.
    comm.SetCommOpen(false);
    ASSERT_TRUE(session.Reconnecting());
    OpenOptions()->Command1->click();
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_TRUE(session.Reconnecting());
}

TEST_F(OpcjeTest, ConfirmWritesTheFormatAndTheSevenKeysOfTheRun) {
    auto options = OpenOptions();
    options->cmbFormat->setEditText("#0.0");
    options->chkFastExportEnabled->setChecked(true);
    options->txtFastExportFile->setText("Szybki");
    options->chkJournalTrailer->setChecked(true);
    options->chkShowNote->setChecked(true);
    options->chkShowSave->setChecked(false);
    options->Command1->click();

    EXPECT_EQ(Ini("ustawienia", "MasaFormat"), "#0.0");
    EXPECT_EQ(Ini("EXPORT", "fastExportEnabled"), "True");
    EXPECT_EQ(Ini("EXPORT", "fastExportFileName"), "Szybki");
    EXPECT_EQ(Ini("EXPORT", "journalTrailer"), "True");
    EXPECT_EQ(Ini("ustawienia", "pomiarShowNote"), "True");
    EXPECT_EQ(Ini("ustawienia", "pomiarShowSave"), "False");
    EXPECT_EQ(Ini("COMMANDS", "CMD_SEND_UNSTABLE"), "SI");
    EXPECT_EQ(Ini("COMMANDS", "CMD_SEND_STABLE"), "S");
    EXPECT_TRUE(context.settings.fastExportEnabled);
    EXPECT_EQ(context.settings.fastExportFileName, "Szybki");
    EXPECT_TRUE(context.settings.journalTrailer);
    EXPECT_TRUE(context.settings.pomiarShowNote);
    EXPECT_FALSE(context.settings.pomiarShowSave);
    EXPECT_EQ(options->result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(OpcjeTest, ConfirmWithAnUnreadableLinkKeyReportsAndChangesNothing) {
    const QByteArray broken = "[ustawienia]\r\nType=TCP\r\n";
    WriteFile(context.IniPath(), broken);
    auto options = OpenOptions();
    options->chkShowNote->setChecked(true);
    options->Command1->click();

    ASSERT_EQ(dialogs.Messages(),
              QStringList({"Error 13 (Type mismatch) in procedure Command1_Click of Form Opcje"}));
    EXPECT_EQ(dialogs.Calls().front().icon, MsgIcon::Critical);
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_EQ(FileBytes(context.IniPath()), broken);
    EXPECT_FALSE(context.settings.pomiarShowNote);
    EXPECT_TRUE(options->isVisible());
}

TEST_F(OpcjeTest, CancelWritesNothingAndLeavesAClosedLinkAlone) {
    WriteFile(context.IniPath(), storedIni);
    comm.SetSerialBaudRate(9600);
    comm.SetSerialPort(1);
    const Settings before = context.settings;

    auto options = OpenOptions();
    options->cmbFormat->setEditText("#0.0");
    options->chkShowSave->setChecked(true);
    options->Command2->click();
    EXPECT_EQ(comm.SerialBaudRate(), 9600);
    EXPECT_EQ(comm.SerialPort(), 1);
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_EQ(options->result(), QDialog::Rejected);
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(FileBytes(context.IniPath()), storedIni);
    EXPECT_EQ(context.settings.pomiarShowSave, before.pomiarShowSave);
}

TEST_F(OpcjeTest, CancelLeavesTheLinkAsItWas) {
    PtyPair serialBalance;
    ASSERT_TRUE(serialBalance.IsValid());
    serialBalance.Publish(5);
    LoopbackListener tcpBalance;
    ASSERT_NE(tcpBalance.port, 0);
    int switchedOffPort = 0;
    {
        LoopbackListener gone;
        switchedOffPort = gone.port;
    }

    const struct {
        const char* name;
        QByteArray ini;
        bool open;
    } stations[] = {
        {"serial", "[ustawienia]\r\nType=2\r\nComm=5\r\nSpeed=19200\r\n", true},
        {"TCP",
         "[ustawienia]\r\nType=1\r\nHostIP=127.0.0.1\r\nHostPort=" +
             QByteArray::number(tcpBalance.port) + "\r\n",
         true},
        {"TCP, balance switched off",
         "[ustawienia]\r\nType=1\r\nHostIP=127.0.0.1\r\nHostPort=" +
             QByteArray::number(switchedOffPort) + "\r\n",
         false},
    };
    for (const auto& station : stations) {
        for (const bool savedFirst : {false, true}) {
            SCOPED_TRACE(std::string(station.name) +
                         (savedFirst ? ", saved, options cancelled" : ", choice cancelled"));
            WriteFile(context.IniPath(), station.ini);
            session.OpenLink(LinkSettings::Read(context.IniPath()));
            ASSERT_EQ(WaitUntil([&] { return comm.CommOpen(); }, station.open ? 3000 : 100),
                      station.open);
            const LinkNow before = Now();

            auto options = OpenOptions();
            answerCommSelect = [&](frmCommSelect& dialog) {
                EXPECT_FALSE(comm.CommOpen());
                EXPECT_FALSE(session.Reconnecting());
                dialog.cmbSource->setCurrentIndex(2);
                dialog.cmbSerialPort->setCurrentIndex(dialog.cmbSerialPort->findData(1));
                dialog.cmbBR->setCurrentIndex(0);
                (savedFirst ? dialog.cmdOK : dialog.cmdClose)->click();
            };
            options->cmdSettings->click();
            if (savedFirst) {
                EXPECT_FALSE(comm.CommOpen());
                options->Command2->click();
            }
            EXPECT_TRUE(WaitUntil([&] { return Now() == before; })) << Now() << " / " << before;
            comm.SetCommOpen(false);
            // The balance takes what came, so its queue never fills.
            while (tcpBalance.HasConnection())
                ::close(::accept(tcpBalance.fd, nullptr, nullptr));
        }
    }
}

TEST_F(OpcjeTest, ConfirmRunsTheLinkOnTheStoredPortWhereverItRan) {
    PtyPair running;
    PtyPair stored;
    ASSERT_TRUE(running.IsValid() && stored.IsValid());
    running.Publish(5);
    stored.Publish(4);
    for (const bool openBefore : {false, true}) {
        SCOPED_TRACE(openBefore ? "open on another port" : "closed");
        WriteFile(context.IniPath(), "[ustawienia]\r\nType=2\r\nComm=5\r\nSpeed=9600\r\n");
        LinkSettings::Read(context.IniPath()).Open(comm);
        comm.SetCommOpen(openBefore);
        ASSERT_EQ(comm.CommOpen(), openBefore);

        WriteFile(context.IniPath(), "[ustawienia]\r\nType=2\r\nComm=4\r\nSpeed=57600\r\n");
        OpenOptions()->Command1->click();
        EXPECT_TRUE(comm.CommOpen());
        EXPECT_EQ(comm.SerialPort(), 4);
        EXPECT_EQ(comm.SerialBaudRate(), 57600);
        comm.SetCommOpen(false);
    }
}

TEST_F(OpcjeTest, WithoutCancelOnlyConfirmingCloses) {
    auto options = OpenOptions();
    options->SetCancelAvailable(false);
    EXPECT_FALSE(options->Command2->isEnabled());
    options->reject();
    EXPECT_TRUE(options->isVisible());
    options->close();
    EXPECT_TRUE(options->isVisible());

    options->Command1->click();
    EXPECT_FALSE(options->isVisible());
}
