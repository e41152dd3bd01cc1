#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

class QLabel;
class QProgressBar;

namespace Pomiar {

struct ProgramContext;

// Progress window of the long operations (report, series files, batches of
// readings). The caller sets ContinueFlag() true, shows the window and,
// between its steps, calls Advance(), which lets pending events run so that
// Escape is seen; the caller stops as soon as the flag turns false.
//
// Escape clears the flag and leaves the window open: the caller decides when
// its work has reached a point where it can stop. Closing the window also
// clears the flag, so that a user who closes it is not left with an
// operation running behind no window.
class Pasek : public QDialog {
    Q_OBJECT

public:
    // With a context the window shows the texts of the language file.
    explicit Pasek(QWidget* parent = nullptr, const ProgramContext* context = nullptr);

    // Shared by every long operation of the program, as only one runs at a
    // time on the one user-interface thread.
    static bool& ContinueFlag();

    // The caption of the operation; the long operations' own captions show
    // in the language of the language file.
    void SetCaption(const QString& caption);
    void SetRange(int minimum, int maximum);
    void SetValue(int value);
    void SetStepText(const QString& text);

    // Shows value, lets pending events run once and answers whether the
    // caller may go on.
    bool Advance(int value);

    QProgressBar* ProgressBar1() const { return progressBar1; }
    QLabel* Label1() const { return label1; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QProgressBar* progressBar1 = nullptr;
    QLabel* label1 = nullptr;
    QLabel* label2 = nullptr;
    QLabel* label3 = nullptr;
    QHash<QString, QString> translatedCaptions;
};

} // namespace Pomiar
