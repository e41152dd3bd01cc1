#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLabel;
class QStatusBar;
class QWidget;

namespace Pomiar {

class LabServer;
class Station;
struct LabServerStatus;
struct ProgramContext;

// The shared lab database as the main window shows it: started with the
// store when the settings switch it on, every reading the store writes
// queued in the same transaction, its state and queue in a status bar
// field, and each cause of failure told once, as a notice. Off, it shows nothing and
// connects to nothing.
class LabServerLink : public QObject {
    Q_OBJECT
public:
    LabServerLink(ProgramContext& context, Station& station, QWidget* owner);
    ~LabServerLink() override;

    // After the store opened. Throws SettingsError for a setting that is not
    // valid.
    void Start(QStatusBar* statusBar);
    // Stops the sender; what is queued stays for the next start.
    void Stop();
    LabServer* Server() const;

    // Its texts in the language of the language file, from the owner's
    // section.
    void ApplyLanguageTexts();

private:
    void showStatus(const LabServerStatus& status);
    void showFailure(const LabServerStatus& status);

    ProgramContext& context;
    Station& station;
    QWidget* owner;
    QLabel* field = nullptr;
    struct {
        QString connecting = QStringLiteral("Baza laboratorium: laczenie");
        QString connected = QStringLiteral("Baza laboratorium: polaczono");
        QString failed = QStringLiteral("Baza laboratorium: brak polaczenia");
        QString queued = QStringLiteral("w kolejce: %1");
        QString unreachable =
            QStringLiteral("Baza laboratorium jest niedostepna; pomiary sa zapisywane tutaj i "
                           "zostana wyslane pozniej.");
    } texts;
};

} // namespace Pomiar
