#pragma once

#include <QString>
#include <QTime>
#include <QWidget>
#include <functional>

class QPlainTextEdit;

namespace Pomiar {

// A window showing the raw traffic with the balance, one time-stamped line
// per frame received or command sent, while it is open.
class DebugForm : public QWidget {
    Q_OBJECT
public:
    // More lines than this since the box was last emptied empty it again.
    static constexpr int MaxLines = 1000;

    explicit DebugForm(QWidget* parent = nullptr);
    ~DebugForm() override;

    // Appends one line: time, hundredths, the direction label and the text
    // with its line ends made visible.
    void DebugText(const QString& text, const QString& label);

    // The line as logged, ending with CR LF: "HH:mm:ss.hh (label): text",
    // every CR LF of the text shown as "[CRLF]".
    static QString FormatLine(const QTime& time, const QString& text, const QString& label);

    void SetClock(std::function<QTime()> clock);
    bool IsOpen() const { return open; }

    QPlainTextEdit* Text1 = nullptr;

signals:
    // Shown to the user (the box was emptied) and closed again: the main
    // window passes traffic only in between.
    void Opened();
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Clear();

    std::function<QTime()> clock;
    int lineCounter = 0;
    bool open = false;
};

} // namespace Pomiar
