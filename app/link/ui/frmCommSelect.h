#pragma once

#include "DialectDetector.h"

#include <Mordal/LineFormat.h>

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace Mordal {
class CommInfo;
struct COMMPROP;
} // namespace Mordal

namespace Pomiar {

struct ProgramContext;

// Where the balance is reached: no link, TCP (address and port) or an
// RS-232 port that exists on this machine. The dialog stores nothing; its
// caller fills the fields, calls LoadSettings, shows it and reads the fields
// back when Accepted.
class frmCommSelect : public QDialog {
    Q_OBJECT
public:
    static constexpr int SourceCount = 3;
    static constexpr std::array<int32_t, 7> BaudRates = {4800,  9600,  14400, 19200,
                                                         38400, 57600, 115200};

    // With a context the window shows the texts of the language file.
    explicit frmCommSelect(QWidget* parent = nullptr, const ProgramContext* context = nullptr);

    int16_t Source = 0; // 0 none, 1 TCP, 2 RS-232
    int16_t SerialPort = 1;
    int32_t BaudRate = 9600;
    Mordal::LineFormat LineFormat;
    // The balance's family; "Wykryj" asks the balance and offers what it
    // found.
    BalanceDialect Dialect;
    QString HostIP;
    int32_t HostPort = 4001;
    bool Accepted = false;

    // Fills the lists and shows the fields; true when the stored serial port
    // is not among the ports found.
    bool LoadSettings();

    // What a port looks like in the port list: its number and its device.
    static QString PortListText(int port);

    QComboBox* cmbSource = nullptr;
    std::array<QGroupBox*, SourceCount> frameSource{};
    QLineEdit* txtIP = nullptr;
    QLineEdit* txtPortTCP = nullptr;
    QComboBox* cmbSerialPort = nullptr;
    QComboBox* cmbBR = nullptr;
    QComboBox* cmbLineFormat = nullptr;
    QComboBox* cmbDialect = nullptr;
    QPushButton* cmdDetect = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdClose = nullptr;
    Mordal::CommInfo* CommInfo1 = nullptr;

public slots:
    void reject() override;

private:
    void BuildWindow();
    QGroupBox* BuildTcpFrame();
    QGroupBox* BuildSerialFrame();
    void ConnectEditing();

    void FillPortList();
    void AddPort(int16_t port, bool isBusy, Mordal::COMMPROP& properties);
    void FillBaudList();
    void FillLineFormatList();
    void FillDialectList();
    QHBoxLayout* BuildDialectRow();
    // Asks the balance on the link the fields describe which family it
    // speaks, and offers to choose it.
    void DetectDialect();
    void OfferDetected(const DialectDetector::Result& found);
    void FillSourceList();
    bool ShowStoredPort();

    void ShowSourceFrame(int listIndex);
    void OnHostPortEdited(const QString& text);
    void Save();

    QStackedWidget* imgPos = nullptr;
    const ProgramContext* context = nullptr;
    bool loading = false;
};

} // namespace Pomiar
