#include "mUstawienia.h"

#include "INI.h"
#include "Mordal.h"

#include <QFileInfo>
#include <array>
#include <initializer_list>
#include <limits>

namespace Pomiar {

namespace {

const QString sectionUstawienia = QStringLiteral("ustawienia");
const QString sectionExport = QStringLiteral("EXPORT");
const QString sectionCommands = QStringLiteral("COMMANDS");

bool readBoolean(const QString& iniPath, const QString& section, const QString& key,
                 const QString& defaultValue) {
    const QString text = INI::CzytajIni(iniPath, section, key, defaultValue);
    bool ok = false;
    const bool value = mUstawienia::ToBoolean(text, &ok);
    if (!ok)
        throw SettingsError(iniPath, section, key, text);
    return value;
}

template <typename Whole>
Whole readWholeNumber(const QString& iniPath, const QString& key, Whole defaultValue) {
    const QString text =
        INI::CzytajIni(iniPath, sectionUstawienia, key, QString::number(defaultValue));
    bool ok = false;
    const qlonglong number = text.trimmed().toLongLong(&ok, 10);
    if (!ok || number < std::numeric_limits<Whole>::min() ||
        number > std::numeric_limits<Whole>::max())
        throw SettingsError(iniPath, sectionUstawienia, key, text);
    return static_cast<Whole>(number);
}

Mordal::LineFormat readLineFormat(const QString& iniPath, const Mordal::LineFormat& defaultValue) {
    const QString key = QStringLiteral("LineFormat");
    const QString text = INI::CzytajIni(iniPath, sectionUstawienia, key, defaultValue.Text());
    const std::optional<Mordal::LineFormat> format = Mordal::LineFormat::FromText(text);
    if (!format)
        throw SettingsError(iniPath, sectionUstawienia, key, text);
    return *format;
}

// The lines to write, in their order, each stopping the rest when it fails.
bool writeAll(const QString& iniPath, std::initializer_list<std::array<QString, 3>> entries,
              QString* error) {
    for (const auto& [section, key, value] : entries) {
        if (!INI::ZapiszIni(iniPath, section, key, value, error))
            return false;
    }
    return true;
}

QString lineOf(const QString& file, const QString& section, const QString& key,
               const QString& value) {
    return QStringLiteral("%1: [%2] %3=%4").arg(file, section, key, value);
}

} // namespace

SettingsError::SettingsError(const QString& file, const QString& section, const QString& key,
                             const QString& value)
    : std::runtime_error(
          (QStringLiteral("Type mismatch: ") + lineOf(file, section, key, value)).toStdString()),
      file(file), section(section), key(key), value(value) {}

QString SettingsError::Where() const {
    return lineOf(file, section, key, value);
}

namespace mUstawienia {

void WczytajUstawienia(const QString& iniPath, Settings& settings) {
    // Read into a copy so that a bad key leaves the settings as they were.
    Settings read = settings;
    read.fastExportEnabled = readBoolean(iniPath, sectionExport, "fastExportEnabled", "0");
    read.fastExportFileName =
        INI::CzytajIni(iniPath, sectionExport, "fastExportFileName", "FastExportFile");
    read.journalTrailer = readBoolean(iniPath, sectionExport, "journalTrailer", "0");
    read.pomiarShowNote = readBoolean(iniPath, sectionUstawienia, "pomiarShowNote", "0");
    read.pomiarShowSave = readBoolean(iniPath, sectionUstawienia, "pomiarShowSave", "0");
    read.cmdSendUnstable = INI::CzytajIni(iniPath, sectionCommands, "CMD_SEND_UNSTABLE", "SI");
    read.cmdSendStable = INI::CzytajIni(iniPath, sectionCommands, "CMD_SEND_STABLE", "S");
    settings = read;
}

bool ZapiszUstawienia(const QString& iniPath, const Settings& settings, QString* error) {
    return writeAll(iniPath,
                    {{sectionExport, "fastExportEnabled", BooleanText(settings.fastExportEnabled)},
                     {sectionExport, "fastExportFileName", settings.fastExportFileName},
                     {sectionExport, "journalTrailer", BooleanText(settings.journalTrailer)},
                     {sectionUstawienia, "pomiarShowNote", BooleanText(settings.pomiarShowNote)},
                     {sectionUstawienia, "pomiarShowSave", BooleanText(settings.pomiarShowSave)},
                     {sectionCommands, "CMD_SEND_UNSTABLE", settings.cmdSendUnstable},
                     {sectionCommands, "CMD_SEND_STABLE", settings.cmdSendStable}},
                    error);
}

bool ToBoolean(const QString& text, bool* ok) {
    const QString trimmed = text.trimmed();
    bool converted = true;
    bool value = false;
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        value = true;
    } else if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        value = false;
    } else {
        // Numbers use "." whatever the user's locale: the files are shared
        // between machines.
        const double number = trimmed.toDouble(&converted);
        converted = converted && qIsFinite(number);
        value = converted && number != 0.0;
    }
    if (ok)
        *ok = converted;
    return value;
}

QString BooleanText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString HelpFileName(const QString& languageFileName) {
    QString help = languageFileName;
    return help.replace(QLatin1String("lag"), QLatin1String("chm"), Qt::CaseSensitive);
}

QString CzytajMasaFormat(const QString& iniPath) {
    return INI::CzytajIni(iniPath, sectionUstawienia, QStringLiteral("MasaFormat"),
                          QString::fromLatin1(DefaultMassFormat));
}

bool ZapiszMasaFormat(const QString& iniPath, const QString& format, QString* error) {
    return INI::ZapiszIni(iniPath, sectionUstawienia, QStringLiteral("MasaFormat"), format, error);
}

} // namespace mUstawienia

LinkSettings LinkSettings::Read(const QString& iniPath) {
    LinkSettings link;
    link.speed = readWholeNumber(iniPath, "Speed", link.speed);
    link.comm = readWholeNumber(iniPath, "Comm", link.comm);
    link.hostIP = INI::CzytajIni(iniPath, sectionUstawienia, "HostIP", link.hostIP);
    link.hostPort = readWholeNumber(iniPath, "HostPort", link.hostPort);
    link.type = readWholeNumber(iniPath, "Type", link.type);
    link.lineFormat = readLineFormat(iniPath, link.lineFormat);
    link.portChosen = !INI::CzytajIni(iniPath, sectionUstawienia, "Comm", QString()).isEmpty();
    const QString dialect =
        INI::CzytajIni(iniPath, sectionUstawienia, "Dialect", link.dialect.Name());
    const auto named = BalanceDialect::Named(dialect);
    if (!named)
        throw SettingsError(iniPath, sectionUstawienia, QStringLiteral("Dialect"), dialect);
    link.dialect = *named;
    return link;
}

bool LinkSettings::Write(const QString& iniPath, QString* error) const {
    return writeAll(iniPath,
                    {{sectionUstawienia, "Speed", QString::number(speed)},
                     {sectionUstawienia, "Comm", QString::number(comm)},
                     {sectionUstawienia, "HostIP", hostIP},
                     {sectionUstawienia, "HostPort", QString::number(hostPort)},
                     {sectionUstawienia, "Type", QString::number(type)},
                     {sectionUstawienia, "LineFormat", lineFormat.Text()},
                     {sectionUstawienia, "Dialect", dialect.Name()}},
                    error);
}

bool LinkSettings::DefaultPortMissing() const {
    if (portChosen || type != int16_t(Mordal::enCommSource::Serial))
        return false;
    const QString device = Mordal::PortNames::ShownDevicePath(comm);
    return device.isEmpty() || !QFileInfo::exists(device);
}

void LinkSettings::Open(Mordal::Comm& link) const {
    link.SetCommOpen(false);
    link.SetSerialBaudRate(speed);
    link.SetSerialLineFormat(lineFormat);
    link.SetSerialPort(comm);
    link.SetNetRemoteHost(hostIP);
    link.SetNetRemotePort(hostPort);
    link.SetCommSource(type);
    link.SetCommOpen(true);
}

} // namespace Pomiar
