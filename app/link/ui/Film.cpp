#include "Film.h"

#include "FormTexts.h"
#include "LanguageTexts.h"
#include "ProgramContext.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMovie>
#include <QVBoxLayout>

namespace Pomiar {

QString Film::AnimationFile(const QString& programFolder) {
    const QString path = QDir(programFolder).filePath(QStringLiteral("pomiary.dat"));
    if (!QFile::exists(path))
        QFile::copy(QStringLiteral(":/pomiary.dat"), path);
    return path;
}

Film::Film(const QString& programFolder, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Film"));
    setWindowTitle(QStringLiteral("Pobieranie pomiarow (ESC aby zakonczyc)"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);
    aniPobieranie = new QLabel(this);
    aniPobieranie->setObjectName(QStringLiteral("aniPobieranie"));
    aniPobieranie->setAlignment(Qt::AlignCenter);
    aniPobieranie->setMinimumSize(220, 70);
    movie = new QMovie(AnimationFile(programFolder), QByteArray(), this);
    if (movie->isValid()) {
        aniPobieranie->setMovie(movie);
        movie->start();
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(aniPobieranie);
    setFixedSize(sizeHint().expandedTo(QSize(320, 100)));
}

Film::Film(const ProgramContext& context, QWidget* parent) : Film(context.programFolder, parent) {
    ApplyFormTexts(context, this);
}

Film::~Film() = default;

void Film::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit EscapePressed();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Film::CloseByOwner() {
    ownerCloses = true;
    hide();
}

void Film::closeEvent(QCloseEvent* event) {
    // The window's close box ends the transmission as Escape does; the
    // window itself goes when the transmission has ended.
    if (ownerCloses) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    emit EscapePressed();
}

void Film::reject() {
    if (!ownerCloses)
        emit EscapePressed();
}

} // namespace Pomiar
