#include "Options.h"

#include "Dialect.h"

#include <QDir>

namespace BalanceSim {

namespace {

constexpr int MaxComPort = 256;

// Options that set the instrument up are spelled as the control command
// they stand for, so both are checked by the same rules.
struct SetupOption {
    const char* option;
    const char* control;
    bool takesValue;
};

constexpr SetupOption SetupOptions[] = {
    {"mass", "mass", true},
    {"unit", "unit", true},
    {"decimals", "decimals", true},
    {"noise", "noise", true},
    {"scatter", "scatter", true},
    {"position", "position", true},
    {"offset", "offset", true},
    {"rate", "rate", true},
    {"delay", "delay", true},
    {"unstable", "stable off", false},
    {"moisture", "moisture on", false},
    {"noreply", "noreply on", false},
    {"overload", "overload on", false},
    {"underload", "underload on", false},
    {"busy", "busy on", false},
    {"autoprint", "autoprint on", false},
    {"fault", "fault on", false},
    {"form", "form", true},
};

bool Fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

bool TakeInteger(const QString& text, int low, int high, int& out) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool TakeValue(const QStringList& arguments, int& i, const QString& name, QString& value,
               QString* error) {
    if (i + 1 >= arguments.size())
        return Fail(error, QStringLiteral("--%1 needs a value").arg(name));
    value = arguments.at(++i);
    return true;
}

bool TakeSetup(const SetupOption& option, const QString& value, Options& options, QString* error) {
    QByteArray line = option.control;
    if (option.takesValue)
        line += ' ' + value.toLatin1();
    QString why;
    const auto command = ControlCommand::Parse(line, &why);
    if (!command)
        return Fail(error, QStringLiteral("--%1: %2").arg(QLatin1String(option.option), why));
    options.setup.append(*command);
    return true;
}

// The options that take no value; false for any other name.
bool TakeSwitch(const QString& name, Options& options) {
    bool Options::*const on = name == "help"                   ? &Options::help
                              : name == "exit-on-eof"          ? &Options::exitOnEof
                              : name == "streaming-at-connect" ? &Options::streamingAtConnect
                              : name == "log"                  ? &Options::log
                                                               : nullptr;
    if (on)
        options.*on = true;
    return on != nullptr;
}

bool TakeOption(const QStringList& arguments, int& i, Options& options, QString* error) {
    const QString name = arguments.at(i).mid(2);
    QString value;
    for (const SetupOption& setup : SetupOptions) {
        if (name != QLatin1String(setup.option))
            continue;
        if (setup.takesValue && !TakeValue(arguments, i, name, value, error))
            return false;
        return TakeSetup(setup, value, options, error);
    }
    if (TakeSwitch(name, options)) {
        return true;
    } else if (name == "com") {
        if (!TakeValue(arguments, i, name, value, error))
            return false;
        if (!TakeInteger(value, 1, MaxComPort, options.com))
            return Fail(error, QStringLiteral("--com needs a port number from 1 to 256"));
    } else if (name == "tcp") {
        if (!TakeValue(arguments, i, name, value, error))
            return false;
        if (!TakeInteger(value, 0, 65535, options.tcpPort))
            return Fail(error, QStringLiteral("--tcp needs a port number from 0 to 65535"));
    } else if (name == "port-dir") {
        if (!TakeValue(arguments, i, name, options.portDirectory, error))
            return false;
    } else if (name == "script") {
        if (!TakeValue(arguments, i, name, options.scriptPath, error))
            return false;
    } else if (name == "dialect") {
        if (!TakeValue(arguments, i, name, value, error))
            return false;
        if (!Dialect::Find(value.toLatin1()))
            return Fail(error, QStringLiteral("--dialect needs one of %1")
                                   .arg(Dialect::Names().join(QStringLiteral(", "))));
        options.dialect = value.toLatin1();
    } else if (name == "line") {
        if (!TakeValue(arguments, i, name, value, error))
            return false;
        const auto format = LineFormat::Parse(value);
        if (!format)
            return Fail(error, QStringLiteral("--line needs data bits 7 or 8, parity N, E or O "
                                              "and stop bits 1 or 2, such as 8N1 or 7E1"));
        options.line = *format;
    } else if (name == "seed") {
        if (!TakeValue(arguments, i, name, value, error))
            return false;
        bool ok = false;
        options.seed = value.toUInt(&ok);
        if (!ok)
            return Fail(error, QStringLiteral("--seed needs a whole number"));
    } else {
        return Fail(error, QStringLiteral("unknown option %1").arg(arguments.at(i)));
    }
    return true;
}

} // namespace

std::optional<Options> Options::Parse(const QStringList& arguments, QString* error) {
    Options options;
    for (int i = 0; i < arguments.size(); ++i) {
        if (!arguments.at(i).startsWith(QLatin1String("--"))) {
            Fail(error, QStringLiteral("unexpected argument %1").arg(arguments.at(i)));
            return std::nullopt;
        }
        if (!TakeOption(arguments, i, options, error))
            return std::nullopt;
    }
    if (options.help)
        return options;
    if (options.com == 0 && options.tcpPort < 0) {
        Fail(error, QStringLiteral("give --com N, --tcp PORT or both"));
        return std::nullopt;
    }
    if (options.com != 0 && options.portDirectory.isEmpty())
        options.portDirectory = DefaultPortDirectory();
    return options;
}

QString Options::DefaultPortDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("MORDAL_PORTS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/Mordal/ports");
}

// The usage text, kept as data: one line of it per line printed.
constexpr char helpText[] = R"(Usage: balance-sim [--com N [--port-dir DIR]] [--tcp PORT] [options]

Serves one simulated laboratory balance (or moisture analyser) on a
pseudo-terminal published as COM<N>, on a loopback TCP port, or on both.

Endpoints (at least one):
  --com N          open a pseudo-terminal and link DIR/COM<N> (N 1..256) to
                   it, replacing an existing link; the link is removed on exit
  --port-dir DIR   the port directory; default $MORDAL_PORTS, else
                   $XDG_CONFIG_HOME/Mordal/ports (~/.config/Mordal/ports)
  --tcp PORT       listen on 127.0.0.1:PORT (0: any free port); one client
                   at a time, a new client replaces the old one
On start one line per endpoint is printed:
  READY COM<N> <pseudo-terminal path>
  READY TCP 127.0.0.1 <port>

The instrument answers commands ended by CR LF (a lone CR or LF also ends
a command; bytes are taken as they are, one character each):
  S      stable read         "S     12.3456 g  "  (settled value)
  SI     immediate read      "SI ?   12.3457 g  "  ("?" while unstable)
  T      tare                "ST A", and the reading becomes 0
  C1     continuous on       "C1", then an immediate-read line at the rate
  C0     continuous off      "C0"
  other                      "ES"
As a moisture analyser the unit is "%" and "S" answers with the time of
day in front: "12:05      3.50 %  ".

  --dialect NAME   the balance family spoken: default (the commands above),
                   sics, sbi, ad or ohaus, each with its own commands, reading
                   format, acknowledgements, identification and errors; a
                   command the family does not know gets its syntax error
                   ("ES", "EC,E01"; sbi answers nothing). sbi commands are ESC
                   and letters (ESC P, ESC T, ESC U, ESC V, ESC x1_, ESC x2_),
                   acted on at once, with or without a line end
  --line FORMAT    character format of the pseudo-terminal: data bits 7 or 8,
                   parity N, E or O, stop bits 1 or 2 (default 8N1). A
                   pseudo-terminal carries no parity, so with 7 data bits
                   every byte sent gets its parity bit in bit 7 (0 with N)
                   and received bytes are cut to 7 bits; with 8 data bits and
                   parity E or O the bytes go unchanged (no ninth bit).
                   The TCP endpoint is not affected

Instrument options (the starting state; the control commands below change
it later):
  --mass V         the reading (default 0)
  --unit U         the unit, 1 to 4 characters (default g)
  --decimals N     decimal places of a mass, 0..6 (default 4)
  --noise A        immediate readings wander within +/-A of the mass
  --scatter D      every reading, stable ones too, scatters about the mass
                   with a standard deviation of D digits (default 0)
  --position P     where the weight stands: centre (default), front-left,
                   back-left, back-right or front-right
  --offset P=D     a weight at position P reads D digits more (an off-centre
                   load error); may be given once per position
  --unstable       immediate readings are marked unstable ("?")
  --moisture       act as a moisture analyser
  --rate R         continuous lines per second (default 10)
  --delay MS       every reply leaves MS milliseconds late
  --noreply        ignore every command
  --overload, --underload, --busy
                   start in that condition (see the control commands)
  --autoprint      the balance prints readings on its own at the rate
  --fault          start with the balance's own error (see "fault")
  --form NAME      the balance's output setting (see "form")
  --streaming-at-connect
                   continuous transmission is already on when a client
                   connects (and on the pseudo-terminal from the start), as
                   left by a client killed during it; the family's
                   continuous-off command stops it
  --seed N         seed of the noise, for repeatable runs
  --script FILE    scripted replies, see below

Control commands, one per line on standard input, each answered on standard
output with "OK" or "ERR <reason>":
  mass <value>          set the reading
  unit <text>           set the unit
  decimals <n>          decimal places of a mass
  stable on|off         mark immediate readings stable or unstable
  noise <value>         amplitude of the wandering of immediate readings
  scatter <digits>      standard deviation of every reading (stable ones
                        too) about the mass, in digits of the last place
  position <place>      where the weight stands: centre, front-left,
                        back-left, back-right, front-right (an operator
                        moving it during an eccentricity check)
  offset <place> <digits>
                        a weight at that place reads so many digits more
                        (applies only while the mass is not 0)
  moisture on|off       moisture analyser ("%") or balance
  rate <lines/s>        rate of continuous transmission (above 0, up to 1000)
  noreply on|off        ignore every command: no reply and no effect
  overload on|off       reads (and continuous lines) get the family's
  underload on|off      overload, underload or no-stable-value reply
  busy on|off           ("ES" where the family has none); the last one
                        switched on holds until switched off
  fault on|off          reads get the balance's own error over the value:
                        sics "S S  Error 10b", sbi "Stat      Err 123"
                        (others: as busy)
  form standard|short|words|legend|noack
                        the balance's output setting: sbi "short" writes
                        16-character status lines without "Stat" ("H",
                        "L", "Err 123" from position 7), sbi "words" the
                        words "High", "Low" and "ERR 123"; ohaus "legend"
                        writes "NET" after the stability mark; ad "noack"
                        acknowledges nothing (erCd 0): tare, zero and
                        continuous off are carried out silently
  autoprint on|off      the balance's own print setting: a reading at the
                        rate whatever the client asks (an sbi balance has
                        no command for continuous transmission)
  delay <ms>            send every reply this much later (0: at once)
  split on|off|<ms>     send every reply in two pieces with a pause between
                        (200 ms, or the given pause)
  garbage <text>        send text now, without a line end
  send <text>           send text now, exactly as given
  report                send the calibration report now
  drop                  close the TCP client's connection
  quit                  end the program
Texts may hold escapes: \r \n \t \e (ESC) \\ \xHH. Whatever is sent goes
to every endpoint with a client (a pseudo-terminal always counts as one).

Script file (--script): lines "COMMAND => REPLY". A scripted command is
answered from the script alone, with the reply's bytes exactly as written
(escapes decoded, so end it with \r\n yourself); nothing after "=>" means
no reply. Several lines for one command give their replies in turn,
starting over after the last. Blank lines and lines starting with # are
skipped. Example:
  S => S     12.3456 g  \r\n
  S => ES\r\n
  Z =>

Other options:
  --exit-on-eof    end the program when standard input ends; without it
                   only "quit", SIGINT or SIGTERM end it
  --log            write the traffic to standard error
  --help           show this text
)";

QString Options::HelpText() {
    return QString::fromLatin1(helpText);
}

} // namespace BalanceSim
