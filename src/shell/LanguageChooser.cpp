// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the language chooser: lists "Languages/*.txt" with their flags and returns the pick.
#include "shell/LanguageChooser.h"

#include "platform/ProgramInfo.h"
#include "shell/Buttons.h"
#include "shell/SettingsUi.h"

#include "ui_LanguageChooser.h"

#include <QComboBox>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

QIcon LanguageFlags::DefaultFlag()
{
    // A blue field with a red cross on white.
    QPixmap flag(16, 16);
    flag.fill(QColor(0x00, 0x24, 0x7D));
    QPainter p(&flag);
    p.fillRect(6, 0, 4, 16, Qt::white);
    p.fillRect(0, 5, 16, 6, Qt::white);
    p.fillRect(7, 0, 2, 16, QColor(0xCF, 0x14, 0x2B));
    p.fillRect(0, 6, 16, 4, QColor(0xCF, 0x14, 0x2B));
    return QIcon(flag);
}

QIcon LanguageFlags::UnknownFlag()
{
    QPixmap flag(16, 16);
    flag.fill(QColor(0xC0, 0xC0, 0xC0));
    QPainter p(&flag);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 15, 15);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
    return QIcon(flag);
}

TKieliIkkuna::TKieliIkkuna(const QString &programFolder, QWidget *parent) : QDialog(parent)
{
    FormCreate(programFolder);
}

TKieliIkkuna::~TKieliIkkuna() = default;

void TKieliIkkuna::FormCreate(const QString &programFolder)
{
    ui = std::make_unique<Ui::TKieliIkkuna>();
    ui->setupUi(this);
    Reunus = ui->Reunus;
    LangDir = ui->LangDir;
    Language = ui->Language;
    Ok = ui->Ok;
    const QString folder = QDir::toNativeSeparators(ProgramInfo::ShippedFile(programFolder, QStringLiteral("Languages")) + u'/');
    LangDir->setText(folder);
    LangDir->setToolTip(folder);
    FillLanguageCombo(Language, programFolder, LanguageFlags::DefaultFlag(), LanguageFlags::UnknownFlag());
    Language->setCurrentIndex(0);
    connect(Ok, &QPushButton::clicked, this, &TKieliIkkuna::OkClick);
}

int TKieliIkkuna::ItemIndex() const { return Language->currentIndex(); }
QString TKieliIkkuna::ItemText() const { return Language->currentText(); }

void TKieliIkkuna::OkClick() { accept(); }

bool TKieliIkkuna::ChooseLanguage(QWidget *parent, const QString &programFolder, int *index, QString *language)
{
    TKieliIkkuna chooser(programFolder, parent);
    chooser.exec();
    if (chooser.ItemIndex() < 0)
        return false;
    if (index)
        *index = chooser.ItemIndex();
    if (language)
        *language = chooser.ItemText();
    return true;
}
