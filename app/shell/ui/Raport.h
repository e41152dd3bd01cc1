#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPrinter;
class QPushButton;
class QScrollBar;
class QWidget;

namespace Pomiar {

class MeasurementStore;
struct ProgramContext;

// The instrument's report window: while it is open, everything the balance
// sends is collected here (the main window's reading handler hands each
// frame to AppendFrame), shown rewritten, and can be stored with the series,
// printed or saved as a text file.
class Raport : public QDialog {
    Q_OBJECT
public:
    Raport(ProgramContext& context, MeasurementStore& store, QWidget* parent = nullptr);
    ~Raport() override;

    // True from the window's load until it is closed.
    bool Capturing() const { return capturing; }
    void AppendFrame(const QByteArray& frame);
    // The report with its CR LF line ends, as stored and saved.
    QString Text() const { return tekst; }

    // Store with the series, print, save as a text file.
    void Command1Click();
    void Command3Click();
    void cmdSaveAsClick();

    // Prints the text in Courier 10, one inch from the left and the top,
    // further pages as the text needs them.
    static void PrintText(QPrinter& printer, const QString& text);

    // Runs after a report was stored: hands it to the chart window when that
    // is open.
    std::function<void()> raportDoWykresu;
    // Runs when the window stops capturing (it is being closed).
    std::function<void()> captureEnded;

    QLabel* lblRaport = nullptr;
    QWidget* Picture1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* cmdSaveAs = nullptr;

protected:
    void done(int result) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showText();
    void updateScrollRange();
    void printToPdf();
    void showError(const QString& text);

    ProgramContext& context;
    MeasurementStore& store;
    QString tekst;
    // Shown from code, in the language of the language file.
    QString printFailed = QStringLiteral("Nie mozna drukowac na drukarce");
    bool capturing = true;
};

} // namespace Pomiar
