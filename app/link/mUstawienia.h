#pragma once

#include "BalanceDialect.h"

#include <Mordal/LineFormat.h>

#include <QString>
#include <stdexcept>

namespace Mordal {
class Comm;
}

namespace Pomiar {

// The settings held in memory for the whole run, read from ustawienia.ini
// by the entry routine and changed only by the options dialog.
struct Settings {
    QString nrWagi = QStringLiteral("1");
    QString languageFileName = QStringLiteral("Polish.lag");
    QString helpFileName = QStringLiteral("Polish.chm");
    bool fastExportEnabled = false;
    QString fastExportFileName = QStringLiteral("FastExportFile");
    // A CSV export ends with the journal's identity as a comment line.
    bool journalTrailer = false;
    bool pomiarShowNote = false;
    bool pomiarShowSave = false;
    QString cmdSendUnstable = QStringLiteral("SI");
    QString cmdSendStable = QStringLiteral("S");
};

// A key of ustawienia.ini whose text the program cannot use: a number key
// that is not a whole number of its range, a Boolean key that is neither a
// number nor a Boolean word. errorNumber is the run-time error it stands for
// (13, type mismatch); what() names the file, the section, the key and its
// text, so that the user knows which line to mend.
class SettingsError : public std::runtime_error {
public:
    SettingsError(const QString& file, const QString& section, const QString& key,
                  const QString& value);
    int errorNumber = 13;
    QString file;
    QString section;
    QString key;
    QString value;

    // "<file>: [<section>] <key>=<value>", for the user.
    QString Where() const;
};

namespace mUstawienia {

// Reads the seven keys of the run into settings, in their order; a Boolean key
// with an unusable text throws SettingsError.
void WczytajUstawienia(const QString& iniPath, Settings& settings);

// Writes the same seven keys, Booleans as "True" or "False". Stops at the
// first write that fails (the file then stays as it was before it) and
// answers false with the reason in error.
bool ZapiszUstawienia(const QString& iniPath, const Settings& settings, QString* error = nullptr);

// The text-to-Boolean rule of the settings: a number is true unless it is 0,
// and the words True and False in any case; nothing else converts.
bool ToBoolean(const QString& text, bool* ok);
QString BooleanText(bool value);

// "lag" replaced by "chm" wherever it stands (exact case).
QString HelpFileName(const QString& languageFileName);

// The number format of masses when "MasaFormat" is missing: what the grid,
// the statistics and the options dialog all start from.
inline constexpr const char* DefaultMassFormat = "#0.0000";

// "MasaFormat", or DefaultMassFormat when the key is missing.
QString CzytajMasaFormat(const QString& iniPath);
bool ZapiszMasaFormat(const QString& iniPath, const QString& format, QString* error = nullptr);

} // namespace mUstawienia

// The link keys of section "ustawienia": what the main window configures the
// link from and what the communication source dialog edits.
struct LinkSettings {
    static constexpr const char* DefaultHost = "127.0.0.1";

    int32_t speed = 9600;          // "Speed"
    int16_t comm = 1;              // "Comm"
    QString hostIP = DefaultHost;  // "HostIP"
    int32_t hostPort = 4001;       // "HostPort"
    int16_t type = 2;              // "Type": 0 none, 1 TCP, 2 serial
    Mordal::LineFormat lineFormat; // "LineFormat", as "8N1"
    BalanceDialect dialect;        // "Dialect": the balance's family
    // False while "Comm" is missing from the file: the port is the default,
    // not a choice.
    bool portChosen = false;

    // Throws SettingsError (13) for a number key that is not a whole number,
    // a line format that is none and a dialect that is not one of
    // BalanceDialect::Names().
    static LinkSettings Read(const QString& iniPath);
    // Writes "Speed", "Comm", "HostIP", "HostPort", "Type", "LineFormat" and
    // "Dialect", in this order; false with the reason in error at the first
    // write that fails.
    bool Write(const QString& iniPath, QString* error = nullptr) const;
    // Configures the link control with these settings and opens it; the
    // outcome is the control's open state and events. An open link is
    // closed first, as it keeps its port, speed and framing while open.
    void Open(Mordal::Comm& link) const;
    // A serial link on the default port where no such device exists (a new
    // install): the user is offered the ports that exist instead of the
    // system's error.
    bool DefaultPortMissing() const;
};

} // namespace Pomiar
