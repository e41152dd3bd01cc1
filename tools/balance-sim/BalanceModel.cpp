#include "BalanceModel.h"

#include <algorithm>
#include <cmath>

namespace BalanceSim {

BalanceModel::BalanceModel(quint32 seed) : random(seed) {}

void BalanceModel::SetMass(double value) {
    mass = value;
    drift = 0.0;
}

void BalanceModel::SetNoise(double amplitude) {
    noise = std::max(0.0, amplitude);
    drift = std::clamp(drift, -noise, noise);
}

void BalanceModel::Tare() {
    mass = 0.0;
    drift = 0.0;
}

void BalanceModel::SetCondition(Condition value, bool on) {
    if (on)
        condition = value;
    else if (condition == value)
        condition = Condition::Normal;
}

void BalanceModel::SetOffset(int at, double digits) {
    if (at >= 0 && at < Positions)
        offsets[size_t(at)] = digits;
}

double BalanceModel::Offset(int at) const {
    return at >= 0 && at < Positions ? offsets[size_t(at)] : 0.0;
}

double BalanceModel::Digit() const {
    return std::pow(10.0, -(moisture ? MoistureDecimals : decimals));
}

double BalanceModel::SettledMass() {
    // An empty pan has no corner to be read at.
    double value = mass;
    if (mass != 0.0)
        value += offsets[size_t(position)] * Digit();
    if (scatter > 0.0) {
        std::normal_distribution<double> spread(0.0, scatter * Digit());
        value += spread(random);
    }
    return value;
}

QByteArray BalanceModel::StableReply() {
    if (moisture)
        return ResultLine(now().toString(QStringLiteral("hh:mm")).toLatin1(), SettledMass());
    return ResultLine("S  ", SettledMass());
}

QByteArray BalanceModel::ImmediateReply() {
    return ResultLine(stable ? "SI  " : "SI ?", NoisyMass());
}

double BalanceModel::NoisyMass() {
    if (noise <= 0.0)
        return SettledMass();
    std::uniform_real_distribution<double> step(-noise / 2, noise / 2);
    drift = std::clamp(drift + step(random), -noise, noise);
    return SettledMass() + drift;
}

QByteArray BalanceModel::ResultLine(const QByteArray& header, double value) const {
    return header + ValueField(value) + ' ' + UnitField() + "\r\n";
}

QByteArray BalanceModel::ValueField(double value) const {
    return Number(value).rightJustified(ValueWidth, ' ');
}

QByteArray BalanceModel::Number(double value) const {
    const int places = moisture ? MoistureDecimals : decimals;
    const double scale = std::pow(10.0, places);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0; // no "-0.0000" for a value that rounds to zero
    return QByteArray::number(rounded, 'f', places);
}

QByteArray BalanceModel::UnitField() const {
    // Padding keeps the unit inside the last four characters of the line,
    // where a receiver of continuous lines looks for it.
    return DisplayUnit().leftJustified(3, ' ');
}

QByteArray BalanceModel::CalibrationReport() {
    return "\r\n"
           "------ RAPORT KALIBRACJI ------\r\n"
           "Typ wagi: SIM 220\r\n"
           "Nr fabryczny: 000001\r\n"
           "Data: D\r\n"
           "Godzina: \x1b"
           "C\r\n"
           "Temperatura: 22.5 \xf8"
           "C\r\n"
           "Kalibracja: wewnetrzna\r\n"
           "Masa wzorca: 200.0000 g\r\n"
           "Odchylenie: 0.0002 g\r\n"
           "Wynik: OK\r\n"
           "Podpis: ..................\r\n"
           "-------------------------------\r\n"
           "\r\n";
}

} // namespace BalanceSim
