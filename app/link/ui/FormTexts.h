#pragma once

#include <QString>

class QWidget;

namespace Pomiar {

struct ProgramContext;

// Replaces the texts of a window from its section of the language file:
// the caption under "x", then every control with a non-empty caption, keyed
// by that caption, then the column captions of its tables and the tool tips
// of its toolbar buttons.
//
// Control order is a depth-first walk of the window's children in the order
// they were given their parent (QObject::children()), that is, the order in
// which the window builds and lays out its controls; a control's own
// children follow it. Captions are the text of labels and buttons (check
// boxes, radio buttons), the title of frames (QGroupBox) and menus, and the
// text of actions in menus and menu bars. Child windows (dialogs owned by
// this one) are not entered: they apply their own section. Toolbar actions
// are looked up by tool tip only, as their caption is never shown; Qt's own
// inner controls (named "qt_...") are skipped.
//
// A window is translated once; later calls leave it as it is. Without a
// program folder there is no language file, and the designed texts stay.
void ApplyFormTexts(const ProgramContext& context, QWidget* window);

// A text a window's code shows (a message outside the message table, a
// caption set while it runs), looked up by its designed wording in the
// window's section. A window looks its code texts up as it loads, so that a
// template run lists them; without a program folder the designed text stays.
QString FormCodeText(const ProgramContext& context, const QWidget& window, const QString& designed);

} // namespace Pomiar
