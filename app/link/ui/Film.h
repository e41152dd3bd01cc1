#pragma once

#include <QDialog>

class QLabel;
class QMovie;

namespace Pomiar {

struct ProgramContext;

// The window shown while continuous transmission collects readings: an
// animation on top of every other window. Escape ends the transmission.
class Film : public QDialog {
    Q_OBJECT
public:
    // The animation plays "pomiary.dat" from the program folder; the
    // program's own clip is put there when the file is missing.
    explicit Film(const QString& programFolder, QWidget* parent = nullptr);
    // The same, in the program folder of the run and with the texts of the
    // language file.
    explicit Film(const ProgramContext& context, QWidget* parent = nullptr);
    ~Film() override;

    QLabel* aniPobieranie = nullptr;

    static QString AnimationFile(const QString& programFolder);

    // Closes the window at the end of the transmission.
    void CloseByOwner();

signals:
    // Escape was pressed: the owner ends the transmission as its command does.
    void EscapePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QMovie* movie = nullptr;
    bool ownerCloses = false;
};

} // namespace Pomiar
