#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace BalanceSim {

// One line of the control input, checked and taken apart.
struct ControlCommand {
    enum class Kind {
        Mass,
        Unit,
        Stable,
        Noise,
        Moisture,
        Decimals,
        NoReply,
        Delay,
        Split,
        Garbage,
        Send,
        Report,
        Drop,
        Rate,
        Overload,
        Underload,
        Busy,
        AutoPrint,
        Fault,
        Form,
        Scatter,
        Position,
        Offset,
        Quit,
    };

    static constexpr int MaxDelayMs = 600000;
    static constexpr double MaxRate = 1000.0;
    static constexpr int MaxDecimals = 6;
    static constexpr int MaxUnitLength = 4;

    Kind kind = Kind::Quit;
    // mass, noise, rate, scatter and offset (digits)
    double number = 0.0;
    // delay, split pause, decimals, position and the offset's position
    int integer = 0;
    // stable, moisture, noreply, split, overload, underload, busy, autoprint,
    // fault
    bool on = false;
    // unit, form, and the decoded text of garbage and send
    QByteArray bytes;

    // The balance's output settings "form" chooses between, as the families'
    // manuals name the variants.
    static const QList<QByteArray>& FormNames();
    // The places on the pan "position" and "offset" name, in the order of
    // an eccentricity test: the centre, then the corners.
    static const QList<QByteArray>& PositionNames();

    // Answers nothing, with the reason in error, for a line that is not a
    // valid control command.
    static std::optional<ControlCommand> Parse(const QByteArray& line, QString* error = nullptr);
};

} // namespace BalanceSim
