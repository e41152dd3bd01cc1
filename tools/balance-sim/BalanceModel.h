#pragma once

#include <QByteArray>
#include <QTime>

#include <algorithm>
#include <array>

#include <functional>
#include <random>

namespace BalanceSim {

// The simulated instrument: what lies on the pan and how it reads it out.
// It knows nothing of ports; a session asks it for reply lines.
class BalanceModel {
public:
    // Width of the right-aligned value field of every result line.
    static constexpr int ValueWidth = 10;
    static constexpr int MoistureDecimals = 2;

    // Why the balance cannot give a reading at the moment.
    // Fault: the balance's own error, which it writes over the value.
    enum class Condition { Normal, Overload, Underload, Busy, Fault };

    // A value as read off the pan, before any family formats it.
    struct Sample {
        double value = 0.0;
        bool stable = true;
    };

    explicit BalanceModel(quint32 seed = 1);

    // The reading shown: tare brings it to 0 until the next SetMass.
    void SetMass(double value);
    double Mass() const { return mass; }
    void SetUnit(const QByteArray& value) { unit = value; }
    QByteArray Unit() const { return unit; }
    void SetStable(bool value) { stable = value; }
    bool IsStable() const { return stable; }
    // Immediate readings wander at random within +/- amplitude of the mass.
    void SetNoise(double amplitude);
    double Noise() const { return noise; }
    // Every reading, stable ones too, scatters about the mass with this
    // standard deviation in digits (units of the last decimal place), as
    // replicate weighings of one weight do.
    void SetScatter(double digits) { scatter = std::max(0.0, digits); }
    double Scatter() const { return scatter; }
    // Where the weight stands on the pan: 0 the centre, 1..4 the corners
    // front-left, back-left, back-right, front-right. A weight off the
    // centre reads the offset (in digits) of its position more.
    static constexpr int Positions = 5;
    void SetPosition(int value) { position = std::clamp(value, 0, Positions - 1); }
    int Position() const { return position; }
    void SetOffset(int at, double digits);
    double Offset(int at) const;
    // A moisture analyser reports percentages and prints its stable result
    // behind the time of day.
    void SetMoisture(bool value) { moisture = value; }
    bool IsMoisture() const { return moisture; }
    void SetDecimals(int value) { decimals = value; }
    int Decimals() const { return decimals; }
    void SetClock(std::function<QTime()> clock) { now = std::move(clock); }
    // The last condition switched on holds until it is switched off.
    void SetCondition(Condition value, bool on);
    Condition CurrentCondition() const { return condition; }
    // The balance's own print setting: it sends a reading at the stream
    // rate whatever the client asks.
    void SetAutoPrint(bool value) { autoPrint = value; }
    bool IsAutoPrint() const { return autoPrint; }
    // The output setting of the balance's menu, by the name the control
    // command "form" gives it; "standard" unless set.
    void SetForm(const QByteArray& value) { form = value; }
    bool HasForm(const char* name) const { return form == name; }

    void Tare();

    // Answer to "S": the settled value, never marked unstable.
    QByteArray StableReply();
    // Answer to "SI" and each line of continuous transmission: the current,
    // possibly noisy value, marked "?" while the pan is unstable.
    QByteArray ImmediateReply();
    // The settled value, and the current one with the pan's stability.
    Sample Settled() { return {SettledMass(), true}; }
    Sample Current() { return {NoisyMass(), stable}; }
    // A value rounded to the places shown, without padding.
    QByteArray Number(double value) const;
    // "%" for a moisture analyser, else the unit as set.
    QByteArray DisplayUnit() const { return moisture ? QByteArray("%") : unit; }

    static QByteArray TareAcknowledgement() { return "ST A\r\n"; }
    static QByteArray ContinuousOnAcknowledgement() { return "C1\r\n"; }
    static QByteArray ContinuousOffAcknowledgement() { return "C0\r\n"; }
    static QByteArray ErrorReply() { return "ES\r\n"; }
    // A printout as the instrument sends it after an adjustment: the date and
    // time are left as the placeholders "D" and ESC "C" for the receiver to
    // fill in, and the degree sign is character 248 of the printer's code page.
    static QByteArray CalibrationReport();

private:
    QByteArray ResultLine(const QByteArray& header, double value) const;
    QByteArray ValueField(double value) const;
    QByteArray UnitField() const;
    double NoisyMass();
    // The mass with the position's offset and a fresh scatter.
    double SettledMass();
    double Digit() const;

    double mass = 0.0;
    QByteArray unit = "g";
    bool stable = true;
    double noise = 0.0;
    double drift = 0.0;
    double scatter = 0.0;
    int position = 0;
    std::array<double, Positions> offsets{};
    bool moisture = false;
    int decimals = 4;
    Condition condition = Condition::Normal;
    bool autoPrint = false;
    QByteArray form = "standard";
    std::mt19937 random;
    std::function<QTime()> now = [] { return QTime::currentTime(); };
};

} // namespace BalanceSim
