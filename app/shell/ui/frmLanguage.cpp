#include "frmLanguage.h"

#include "INI.h"
#include "ProgramContext.h"
#include "UserDialogs.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

const QString section = QStringLiteral("ustawienia");
const QString key = QStringLiteral("language");

} // namespace

frmLanguage::frmLanguage(const ProgramContext& context, QWidget* parent)
    : QDialog(parent), context(context) {
    setObjectName(QStringLiteral("frmLanguage"));
    setWindowTitle(QStringLiteral(" language"));
    setModal(true);

    Frame1 = new QGroupBox(QStringLiteral("Select language"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    File1 = new QListWidget(Frame1);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setSelectionMode(QAbstractItemView::SingleSelection);
    Label1 = new QLabel(QStringLiteral("Current lang:"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    lblCurrent =
        new QLabel(INI::CzytajIni(context.IniPath(), section, key, QStringLiteral("0")), Frame1);
    lblCurrent->setObjectName(QStringLiteral("lblCurrent"));

    auto* frameLayout = new QGridLayout(Frame1);
    frameLayout->addWidget(File1, 0, 0, 1, 2);
    frameLayout->addWidget(Label1, 1, 0);
    frameLayout->addWidget(lblCurrent, 1, 1);
    frameLayout->setColumnStretch(1, 1);

    cmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Anuluj"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1, 1);
    layout->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &frmLanguage::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(File1, &QListWidget::itemDoubleClicked, this, &frmLanguage::cmdOk_Click);
    FillFileList();
}

void frmLanguage::FillFileList() {
    const QStringList files = QDir(context.LanguageFolder())
                                  .entryList({QStringLiteral("*.lag")}, QDir::Files, QDir::Name);
    File1->addItems(files);
    // The file in use starts selected, so that "&Ok" alone changes nothing.
    const QList<QListWidgetItem*> current =
        File1->findItems(context.settings.languageFileName, Qt::MatchFixedString);
    if (!current.isEmpty())
        File1->setCurrentItem(current.front());
}

void frmLanguage::cmdOk_Click() {
    const QListWidgetItem* chosen = File1->currentItem();
    // Storing no name would leave the next start without any language file.
    if (!chosen || !chosen->isSelected()) {
        reject();
        return;
    }
    INI::ZapiszIni(context.IniPath(), section, key, chosen->text());
    if (context.dialogs)
        context.dialogs->MessageBox(this, context.Msg(26), MsgButtons::Ok, MsgIcon::Information,
                                    context.applicationTitle);
    accept();
}

} // namespace Pomiar
