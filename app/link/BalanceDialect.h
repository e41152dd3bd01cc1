#pragma once

#include "ReadingHandler.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace Pomiar {

// One reply of the balance, as its family's reader understood it.
struct BalanceReply {
    enum class Kind { Reading, Acknowledgement, Identification, Error, Other };
    // Balance: the balance reports an error of its own, with its number in
    // code ("S S  Error 10b", "Stat     ERR 123").
    enum class Error {
        None,
        Syntax,
        Logical,
        Transmission,
        NoStableValue,
        Overload,
        Underload,
        Balance
    };

    Kind kind = Kind::Other;
    Error error = Error::None;
    // A reading: the number as the balance wrote it ("." as the decimal
    // point), its unit as sent, and whether the balance called it stable.
    QString value;
    QString unit;
    bool stable = true;
    // What the balance wrote after the reading to say what it is ("NET",
    // "G"); empty when it wrote nothing.
    QString legend;
    // The balance's own error number, for Error::Balance.
    QString code;
    // An identification: the model or the serial number, without quotes;
    // any other reply: the line as it came, without its line end.
    QString text;
    // A value that is not stable is turned away after a stable read; the
    // default family's rules take it, its mark only showing it.
    bool stabilityBinding = true;
    // The default family's rules cleaned a value text (value): the limit
    // test sees it even when the rules then found it no reading.
    bool cleaned = false;
    // Steps of the default family's rules that failed, for the error log:
    // those before the limit test, and those after it, which count only
    // when the value passed the limits.
    QStringList cleaningErrors;
    QStringList readingErrors;

    bool operator==(const BalanceReply&) const = default;
};

// A reply of the balance as the program and trevalo show it: without its line end, every
// byte shown, bytes the link carries as Latin-1 characters; control bytes
// and the backslash escaped as the balance simulator writes them (\r \n \t
// \e \\, else \xHH), so that a NUL or an ESC in a reply is seen, not
// cutting or garbling the line.
QString ShownReply(const QByteArray& frame);

// "overload", "syntax error": the error's name in a message.
QString ErrorName(BalanceReply::Error error);

// What the error log and the traffic window say of a refused command:
// "the balance refused \"SIR\": syntax error (ES)"; of an error the balance
// reports with its own number: "the balance reports error 10b (S S  Error 10b)".
QString RefusalText(const QByteArray& command, const BalanceReply& reply);

// Whether a text is a plain decimal number as balances write their values:
// an optional sign, digits with at most one point, no exponent, finite.
bool IsPlainNumber(const QString& text);

// The commands of one family; an empty command is one the family does not
// have, and nothing is sent for it.
struct DialectCommands {
    QByteArray stable;
    QByteArray immediate;
    QByteArray tare;
    QByteArray zero;
    QByteArray continuousOn;
    QByteArray continuousOff;
    // Harmless requests that make the balance say who it is: the probe
    // decides whether the family answers; the others ask for the model and
    // the serial number.
    QByteArray probe;
    QByteArray askModel;
    QByteArray askSerialNumber;
    // The balance always answers the tare (an acknowledgement or an error);
    // false where silence after a tare is no failure.
    bool tareAnswered = true;
};

// A reply and the frame it came from: its own line, or the whole frame for
// the default family's rules, which read a frame whole.
struct FrameReply {
    BalanceReply reply;
    QByteArray frame;
};

// A balance maker's command set: what is sent for each operation and how a
// reply is read. The default family is the program's own: its stable and
// immediate reads come from [COMMANDS], and its replies go through the
// reading handler unchanged.
class BalanceDialect {
public:
    enum class Family { Default, Sics, Sbi, Ad, Ohaus };

    BalanceDialect() = default;
    explicit BalanceDialect(Family family);

    // The names of the families, the default first, as settings, the
    // command line and the simulator spell them.
    static QStringList Names();
    // Nothing for a name that is not one of Names() (case is ignored).
    static std::optional<BalanceDialect> Named(const QString& name);

    Family WhichFamily() const { return family; }
    QString Name() const;
    bool IsDefault() const { return family == Family::Default; }
    const DialectCommands& Commands() const;

    // The replies in a frame, a line at a time (a line that ended in LF
    // alone shares its frame with the next). The default family's readings
    // are its reading handler's, which takes the frame whole: here it has
    // only its error reply.
    std::vector<BalanceReply> Read(const QByteArray& frame) const;
    // One line of continuous transmission: its value and unit, or nothing
    // when it is no reading.
    std::optional<ReadingHandler::ContinuousValue> ReadContinuous(const QString& line) const;

    // The family's reader for a reply frame: its replies, each with the
    // line it came from. The default family reads the frame whole with the
    // reading handler's rules, up to the limit test, which is the
    // acceptance's: a value the rules cleaned but found no reading comes
    // as Kind::Other with its value text, so that the limits still see it.
    // reportCapture: the frame is a printout line for the report, read
    // whole by those rules whatever the family.
    std::vector<FrameReply> ReadFrame(const QByteArray& frame, bool reportCapture,
                                      const QLocale& locale) const;
    // The reader for one line of continuous transmission: a reading (its
    // value a finite number), else the balance's error if it said one, else
    // Kind::Other.
    BalanceReply ReadLine(const QString& line) const;
    // Whether the balance marked the value of a frame stable.
    bool FrameStable(const QByteArray& frame) const;

    // The read to send: the family's own, nothing when it has none; the
    // default family's reads are the configured texts, sent even when
    // empty.
    std::optional<QByteArray> ReadCommand(bool immediate, const QString& configuredStable,
                                          const QString& configuredImmediate) const;
    // The harmless request that tells whether a balance speaks this family,
    // and whether a reply to it does.
    QByteArray Probe(const QString& configuredImmediate) const;
    bool Answers(const QByteArray& reply) const;
    // Whether a reply to the probe is this family's own.
    bool Recognises(const BalanceReply& reply) const;

private:
    BalanceReply readLine(const QString& line) const;
    FrameReply readWhole(const QByteArray& frame, bool reportCapture, const QLocale& locale) const;

    Family family = Family::Default;
};

} // namespace Pomiar
