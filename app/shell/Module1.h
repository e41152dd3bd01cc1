#pragma once

#include <QStringList>
#include <functional>

class QApplication;
class QWidget;

namespace Pomiar {
struct ProgramContext;
}

namespace Pomiar::Module1 {

// Reads the station number, title, language and the settings of the run
// from ustawienia.ini and writes the settings back at once, so the file
// always holds them after a start. False (after telling the user) when a
// setting cannot be used.
bool ReadSettings(ProgramContext& context);

// Before any text is looked up: a language file that is no language file
// (IsUsableLanguageFile) is reported with message 27 and the run keeps the
// designed texts, leaving the file as it is.
void CheckLanguageFile(ProgramContext& context);

// Loads every translated window once, in the order of a template run, each
// applying its texts to the language file; none is shown. Each window is
// handed to the visitor, if any, while it exists.
using WindowVisitor = std::function<void(QWidget& window)>;
void LoadTemplateWindows(ProgramContext& context, const WindowVisitor& visit = {});

// The entry routine: finds the program folder, reads and re-writes the
// settings, loads the texts, then lets the start window load the main window
// and runs until the closing window has finished. Answers the exit code.
int Main(QApplication& app, const QStringList& arguments);

} // namespace Pomiar::Module1
