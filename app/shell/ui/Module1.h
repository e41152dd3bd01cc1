#pragma once

#include "StartSettings.h"

#include <QStringList>
#include <functional>
#include <optional>

class QApplication;
class QWidget;

namespace Pomiar::Module1 {

// Loads every translated window once, in the order of a template run, each
// applying its texts to the language file; none is shown. Each window is
// handed to the visitor, if any, while it exists.
using WindowVisitor = std::function<void(QWidget& window)>;
void LoadTemplateWindows(ProgramContext& context, const WindowVisitor& visit = {});

// "--help" and "--version" answered on standard output before the window
// system is touched, so that both work without a display: the exit code when
// the command line asks for one of them, nothing otherwise.
std::optional<int> AnswerOnTerminal(int argc, const char* const* argv);

// The entry routine: finds the program folder, reads and re-writes the
// settings, loads the texts, then lets the start window load the main window
// and runs until the closing window has finished. Answers the exit code.
int Main(QApplication& app, const QStringList& arguments);

} // namespace Pomiar::Module1
