#include "DebugForm.h"

#include <QFont>
#include <QHideEvent>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

const QString crlf = QStringLiteral("\r\n");

// The box breaks lines at any CR or LF; a frame with a lone one must still
// take one line, so those are shown by name like CR LF is.
QString OneDisplayLine(const QString& line) {
    QString shown = line.endsWith(crlf) ? line.chopped(2) : line;
    shown.replace(QLatin1Char('\r'), QStringLiteral("[CR]"));
    shown.replace(QLatin1Char('\n'), QStringLiteral("[LF]"));
    return shown;
}

QFont FixedPitchFont() {
    QFont font(QStringLiteral("Courier New"));
    // Where Courier New is missing the system's monospace family stands in.
    font.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    font.setFixedPitch(true);
    return font;
}

} // namespace

DebugForm::DebugForm(QWidget* parent)
    : QWidget(parent, Qt::Window), clock([] { return QTime::currentTime(); }) {
    setObjectName(QStringLiteral("DebugForm"));
    setWindowTitle(QStringLiteral("Stream Preview"));

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setFont(FixedPitchFont());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->addWidget(Text1);
    resize(640, 360);
}

DebugForm::~DebugForm() {
    // Destroyed while shown: whoever passes traffic must stop all the same.
    if (open)
        emit Closed();
}

QString DebugForm::FormatLine(const QTime& time, const QString& text, const QString& label) {
    const QString hundredths = QStringLiteral("%1").arg(time.msec() / 10, 2, 10, QLatin1Char('0'));
    QString line = time.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('.') + hundredths +
                   QStringLiteral(" (") + label + QStringLiteral("): ") + text;
    line.replace(crlf, QStringLiteral("[CRLF]"));
    return line + crlf;
}

void DebugForm::DebugText(const QString& text, const QString& label) {
    if (lineCounter > MaxLines)
        Clear();
    ++lineCounter;

    const QString shown = OneDisplayLine(FormatLine(clock(), text, label));
    QTextCursor cursor(Text1->document());
    cursor.movePosition(QTextCursor::End);
    const int start = cursor.position();
    cursor.insertText(shown);
    const int end = cursor.position();
    cursor.insertText(QStringLiteral("\n"));

    // Selecting the new line brings it into view.
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    Text1->setTextCursor(cursor);
    Text1->ensureCursorVisible();
}

void DebugForm::SetClock(std::function<QTime()> newClock) {
    clock = std::move(newClock);
}

void DebugForm::Clear() {
    Text1->clear();
    lineCounter = 0;
}

void DebugForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring from the task bar is no new opening.
    if (event->spontaneous() || open)
        return;
    open = true;
    Clear();
    emit Opened();
}

void DebugForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous() || !open)
        return;
    open = false;
    emit Closed();
}

} // namespace Pomiar
