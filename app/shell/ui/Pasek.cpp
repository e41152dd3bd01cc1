#include "Pasek.h"

#include "FormTexts.h"
#include "LanguageTexts.h"
#include "Progress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

QLabel* NamedLabel(const QString& name, const QString& text, Qt::Alignment alignment,
                   QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    return label;
}

} // namespace

Pasek::Pasek(QWidget* parent, const ProgramContext* context)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Pasek"));
    setWindowTitle(QStringLiteral("Tworzenie raportu (ESC aby anulowac)"));

    label1 =
        NamedLabel(QStringLiteral("Label1"), QString(), Qt::AlignLeft | Qt::AlignVCenter, this);
    progressBar1 = new QProgressBar(this);
    progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1->setTextVisible(false);
    progressBar1->setRange(0, 100);
    progressBar1->setValue(0);
    label3 = NamedLabel(QStringLiteral("Label3"), QStringLiteral("50%"), Qt::AlignHCenter, this);
    label2 = NamedLabel(QStringLiteral("Label2"), QStringLiteral("100%"), Qt::AlignRight, this);

    // The two marks share one row: "50%" under the middle of the bar,
    // "100%" under its right end.
    auto* marks = new QGridLayout;
    marks->setContentsMargins(0, 0, 0, 0);
    marks->addWidget(label3, 0, 0, 1, 3, Qt::AlignHCenter);
    marks->addWidget(label2, 0, 2, Qt::AlignRight);
    marks->setColumnStretch(0, 1);
    marks->setColumnStretch(1, 1);
    marks->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(progressBar1);
    layout->addLayout(marks);

    setMinimumWidth(380);
    setFocusPolicy(Qt::StrongFocus);
    if (context) {
        ApplyFormTexts(*context, this);
        for (const QString& caption : ProgressCaption::All())
            translatedCaptions.insert(caption, FormCodeText(*context, *this, caption));
    }
}

bool& Pasek::ContinueFlag() {
    static bool flag = true;
    return flag;
}

void Pasek::SetCaption(const QString& caption) {
    setWindowTitle(translatedCaptions.value(caption, caption));
}

void Pasek::SetRange(int minimum, int maximum) {
    progressBar1->setRange(minimum, maximum);
}

void Pasek::SetValue(int value) {
    progressBar1->setValue(value);
}

void Pasek::SetStepText(const QString& text) {
    label1->setText(text);
}

bool Pasek::Advance(int value) {
    SetValue(value);
    QCoreApplication::processEvents();
    return ContinueFlag();
}

void Pasek::keyPressEvent(QKeyEvent* event) {
    // Escape must not reach QDialog, which would close the window and leave
    // the caller painting into a hidden one.
    if (event->key() == Qt::Key_Escape) {
        ContinueFlag() = false;
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Pasek::closeEvent(QCloseEvent* event) {
    ContinueFlag() = false;
    QDialog::closeEvent(event);
}

void Pasek::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    raise();
}

} // namespace Pomiar
