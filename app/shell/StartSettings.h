#pragma once

namespace Pomiar {
struct ProgramContext;
}

// The steps of the start that need no window: the settings and the language
// file, checked before the first window loads.
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

} // namespace Pomiar::Module1
