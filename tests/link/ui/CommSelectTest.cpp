#include "frmCommSelect.h"

#include "EventWait.h"
#include "ProgramContext.h"
#include "PtyPair.h"
#include "ScriptedDialogs.h"
#include "SimulatorProcess.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

using Pomiar::frmCommSelect;

namespace {

// The stored values as the options dialog hands them over.
void Store(frmCommSelect& dialog, int16_t source, int16_t port, int32_t baud) {
    dialog.Source = source;
    dialog.SerialPort = port;
    dialog.BaudRate = baud;
    dialog.HostIP = QStringLiteral("127.0.0.1");
    dialog.HostPort = 4001;
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

void Type(QWidget* field, const QString& keys) {
    for (const QChar key : keys) {
        QKeyEvent press(QEvent::KeyPress, key.toUpper().unicode(), Qt::NoModifier, QString(key));
        QApplication::sendEvent(field, &press);
    }
}

void Press(QWidget* field, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(field, &press);
}

std::unique_ptr<PtyPair> PublishedPort(int number) {
    auto pty = std::make_unique<PtyPair>();
    pty->Publish(number);
    return pty;
}

} // namespace

TEST(CommSelectWindow, ControlsCarryTheirNamesAndTexts) {
    frmCommSelect dialog;
    Store(dialog, 2, 1, 9600);
    dialog.LoadSettings();
    EXPECT_EQ(dialog.windowTitle(), "Konfiguracja polaczen");
    EXPECT_EQ(Items(dialog.cmbSource), QStringList({"---", "TCP", "RS-232"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dialog.cmbSource->itemData(i).toInt(), i);
    EXPECT_EQ(Items(dialog.cmbBR),
              QStringList({"4800", "9600", "14400", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(dialog.frameSource[0]->title(), "Brak wyboru");
    EXPECT_EQ(dialog.frameSource[1]->title(), "Wlasciwosci TCP");
    EXPECT_EQ(dialog.frameSource[2]->title(), "Wlasciwosci RS-232");
    EXPECT_EQ(dialog.findChildren<QGroupBox*>("frameSource").size(), 3);
    EXPECT_EQ(Items(dialog.cmbLineFormat), QStringList({"8N1", "8E1", "8O1", "8N2", "8E2", "8O2",
                                                        "7N1", "7E1", "7O1", "7N2", "7E2", "7O2"}));
    EXPECT_EQ(dialog.findChild<QLabel*>("lblLineFormat")->text(), "Format linii:");
    for (const char* name :
         {"cmbSource", "txtIP", "txtPortTCP", "cmbSerialPort", "cmbBR", "cmbLineFormat"})
        EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(dialog.findChild<QPushButton*>("cmdOK")->text(), "Zapisz");
    EXPECT_EQ(dialog.findChild<QPushButton*>("cmdClose")->text(), "Anuluj");
    ASSERT_NE(dialog.CommInfo1, nullptr);
}

TEST(CommSelectWindow, StoredSourceShowsOnlyItsFrame) {
    frmCommSelect dialog;
    Store(dialog, 1, 1, 9600);
    dialog.LoadSettings();
    dialog.show();
    EXPECT_EQ(dialog.cmbSource->currentText(), "TCP");
    EXPECT_FALSE(dialog.frameSource[0]->isVisible());
    EXPECT_TRUE(dialog.frameSource[1]->isVisible());
    EXPECT_FALSE(dialog.frameSource[2]->isVisible());
    EXPECT_EQ(dialog.txtIP->text(), "127.0.0.1");
    EXPECT_EQ(dialog.txtPortTCP->text(), "4001");

    dialog.cmbSource->setCurrentIndex(2);
    EXPECT_EQ(dialog.Source, 2);
    EXPECT_FALSE(dialog.frameSource[1]->isVisible());
    EXPECT_TRUE(dialog.frameSource[2]->isVisible());

    dialog.cmbSource->setCurrentIndex(0);
    EXPECT_EQ(dialog.Source, 0);
    EXPECT_TRUE(dialog.frameSource[0]->isVisible());
    EXPECT_FALSE(dialog.frameSource[2]->isVisible());
}

TEST(CommSelectWindow, NoPortsLeavesTheListEmptyAndKeepsTheStoredPort) {
    frmCommSelect dialog;
    Store(dialog, 0, 5, 9600);
    EXPECT_TRUE(dialog.LoadSettings());
    EXPECT_EQ(dialog.cmbSerialPort->count(), 0);

    dialog.cmbSource->setCurrentIndex(2);
    dialog.cmdOK->click();
    EXPECT_TRUE(dialog.Accepted);
    EXPECT_EQ(dialog.Source, 2);
    EXPECT_EQ(dialog.SerialPort, 5);
}

TEST(CommSelectWindow, ListsEachExistingPortOnceWithItsDevice) {
    const auto port2 = PublishedPort(2);
    const auto port7 = PublishedPort(7);
    ASSERT_TRUE(port2->IsValid() && port7->IsValid());

    frmCommSelect dialog;
    Store(dialog, 2, 7, 9600);
    EXPECT_FALSE(dialog.LoadSettings());
    EXPECT_FALSE(dialog.LoadSettings());
    ASSERT_EQ(dialog.cmbSerialPort->count(), 2);
    EXPECT_EQ(dialog.cmbSerialPort->itemData(0).toInt(), 2);
    EXPECT_EQ(dialog.cmbSerialPort->itemData(1).toInt(), 7);
    EXPECT_TRUE(dialog.cmbSerialPort->itemText(0).startsWith("2  ("));
    EXPECT_TRUE(dialog.cmbSerialPort->itemText(0).endsWith(")"));
    EXPECT_EQ(dialog.cmbSerialPort->currentData().toInt(), 7);

    // A second dialog in the same run sees the same list.
    frmCommSelect again;
    Store(again, 2, 2, 9600);
    again.LoadSettings();
    EXPECT_EQ(Items(again.cmbSerialPort), Items(dialog.cmbSerialPort));

    dialog.cmbSerialPort->setCurrentIndex(0);
    EXPECT_EQ(dialog.SerialPort, 2);
}

TEST(CommSelectWindow, MissingStoredPortShowsNoChoiceAndKeepsTheNumber) {
    const auto port3 = PublishedPort(3);
    frmCommSelect dialog;
    Store(dialog, 2, 9, 9600);
    EXPECT_TRUE(dialog.LoadSettings());
    EXPECT_EQ(dialog.cmbSerialPort->count(), 1);
    EXPECT_EQ(dialog.cmbSerialPort->currentIndex(), -1);
    dialog.cmdOK->click();
    EXPECT_EQ(dialog.SerialPort, 9);
}

TEST(CommSelectWindow, BaudRateOutsideTheListShowsNoChoiceAndIsKept) {
    frmCommSelect dialog;
    Store(dialog, 2, 1, 12345);
    dialog.LoadSettings();
    EXPECT_EQ(dialog.cmbBR->currentIndex(), -1);
    EXPECT_EQ(dialog.BaudRate, 12345);

    dialog.cmbBR->setCurrentIndex(dialog.cmbBR->findText("38400"));
    EXPECT_EQ(dialog.BaudRate, 38400);

    Store(dialog, 2, 1, 19200);
    dialog.LoadSettings();
    EXPECT_EQ(dialog.cmbBR->currentText(), "19200");
    EXPECT_EQ(dialog.BaudRate, 19200);
}

TEST(CommSelectWindow, ShowsTheStoredLineFormatAndReturnsTheChoice) {
    frmCommSelect dialog;
    Store(dialog, 2, 1, 9600);
    EXPECT_EQ(dialog.LineFormat.Text(), "8N1");
    dialog.LineFormat = *Mordal::LineFormat::FromText("7O1");
    dialog.LoadSettings();
    EXPECT_EQ(dialog.cmbLineFormat->currentText(), "7O1");

    dialog.cmbLineFormat->setCurrentIndex(dialog.cmbLineFormat->findText("7E2"));
    dialog.cmdOK->click();
    EXPECT_TRUE(dialog.Accepted);
    EXPECT_EQ(dialog.LineFormat.Text(), "7E2");

    // A format the list does not offer shows no choice and is kept.
    dialog.LineFormat = {5, Mordal::LineFormat::Parity::None, 1};
    dialog.LoadSettings();
    EXPECT_EQ(dialog.cmbLineFormat->currentIndex(), -1);
    EXPECT_EQ(dialog.LineFormat.Text(), "5N1");
}

TEST(CommSelectWindow, TcpPortFieldTakesOnlyPortNumbers) {
    frmCommSelect dialog;
    Store(dialog, 1, 1, 9600);
    dialog.LoadSettings();
    QLineEdit* field = dialog.txtPortTCP;

    Type(field, "2");
    EXPECT_EQ(field->text(), "40012");
    EXPECT_EQ(dialog.HostPort, 40012);

    Type(field, "x");
    EXPECT_EQ(field->text(), "40012");

    Press(field, Qt::Key_A, Qt::ControlModifier);
    Press(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(dialog.HostPort, 40012);

    Type(field, "0");
    EXPECT_EQ(field->text(), "");
    Type(field, "70000");
    EXPECT_EQ(field->text(), "7000");
    EXPECT_EQ(dialog.HostPort, 7000);

    // Text put in without typing passes no validator: the number stays sound.
    field->setText("70000");
    EXPECT_EQ(dialog.HostPort, 7000);
    field->setText("abc");
    EXPECT_EQ(dialog.HostPort, 7000);
    field->setText("65535");
    EXPECT_EQ(dialog.HostPort, 65535);
}

TEST(CommSelectWindow, EditsReachTheFieldsAndCancelClearsTheConfirmation) {
    frmCommSelect dialog;
    Store(dialog, 1, 1, 9600);
    dialog.LoadSettings();
    dialog.txtIP->setText("localhost");
    EXPECT_EQ(dialog.HostIP, "localhost");

    dialog.show();
    dialog.cmdOK->click();
    EXPECT_TRUE(dialog.Accepted);
    EXPECT_FALSE(dialog.isVisible());

    dialog.LoadSettings();
    EXPECT_FALSE(dialog.Accepted);
    dialog.show();
    dialog.cmdClose->click();
    EXPECT_FALSE(dialog.Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(CommSelectWindow, UnknownStoredSourceOpensWithNoChoiceAndKeepsIt) {
    frmCommSelect dialog;
    Store(dialog, 7, 1, 9600);
    dialog.LoadSettings();
    dialog.show();
    EXPECT_EQ(dialog.cmbSource->currentIndex(), -1);
    EXPECT_TRUE(dialog.frameSource[0]->isVisible());
    EXPECT_EQ(dialog.Source, 7);
}

// "Wykryj" asks the balance the fields describe and chooses the family it
// found only when the user says so; a balance that answers nothing is said
// to have sent nothing.
TEST(CommSelectWindow, DetectOffersTheFamilyTheBalanceSpeaks) {
    QProcess simulator;
    const int port = StartTcpSimulator(simulator, BALANCE_SIM_PATH, {"--dialect", "ad"});
    ASSERT_GT(port, 0);
    ScriptedDialogs dialogs;
    Pomiar::ProgramContext context;
    context.dialogs = &dialogs;
    frmCommSelect dialog(nullptr, &context);
    Store(dialog, 1, 1, 9600);
    dialog.HostPort = port;
    dialog.LoadSettings();
    EXPECT_EQ(dialog.cmbDialect->count(), Pomiar::BalanceDialect::Names().size());
    EXPECT_EQ(dialog.cmbDialect->currentData().toString(), "default");

    dialogs.AnswerNext(Pomiar::MsgAnswer::No);
    dialog.cmdDetect->click();
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    const QString offer = dialogs.Calls()[0].text;
    EXPECT_TRUE(offer.contains("rodzinie ad") && offer.contains("FX-120i") &&
                offer.contains("T1234567"))
        << offer.toStdString();
    EXPECT_TRUE(dialog.Dialect.IsDefault()) << "declined: nothing chosen";

    dialogs.AnswerNext(Pomiar::MsgAnswer::Yes);
    dialog.cmdDetect->click();
    EXPECT_EQ(dialog.Dialect.Name(), "ad");
    EXPECT_EQ(dialog.cmbDialect->currentData().toString(), "ad");

    simulator.write("noreply on\n");
    ASSERT_TRUE(WaitUntil([&] { return simulator.readAll().contains("OK"); }, 3000));
    dialog.cmdDetect->click();
    ASSERT_EQ(dialogs.Calls().size(), 3u);
    EXPECT_TRUE(dialogs.Calls()[2].text.endsWith("wyslala: nic"))
        << dialogs.Calls()[2].text.toStdString();
    EXPECT_EQ(dialog.Dialect.Name(), "ad");
    simulator.kill();
    simulator.waitForFinished();
}
