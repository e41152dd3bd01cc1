#include "LocalTime.h"
#include "Module1.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (const auto answered = Pomiar::Module1::AnswerOnTerminal(argc, argv))
        return *answered;
    Pomiar::KeepTimeZoneLoaded();
    QApplication app(argc, argv);
    return Pomiar::Module1::Main(app, QApplication::arguments());
}
