// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the language chooser: lists "Languages/*.txt" with their flags and returns the pick.
#include "shell/LanguageChooser.h"

#include "shell/Buttons.h"
#include "shell/SettingsUi.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

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
    setObjectName("KieliIkkuna");
    setWindowTitle("Choose language");
    FormCreate(programFolder);
}

void TKieliIkkuna::FormCreate(const QString &programFolder)
{
    Reunus = new QFrame(this);
    Reunus->setObjectName("Reunus");
    Reunus->setFrameShape(QFrame::Box);
    Reunus->setFrameShadow(QFrame::Sunken);

    auto *choose = new QLabel(QStringLiteral("Choose language:"), Reunus);
    choose->setObjectName("Label1");
    auto *dirCaption = new QLabel(QStringLiteral("Language dir:"), Reunus);
    dirCaption->setObjectName("Label2");
    const QString folder = QDir::toNativeSeparators(QDir(programFolder).filePath(QStringLiteral("Languages")) + u'/');
    LangDir = new QLabel(folder, Reunus);
    LangDir->setObjectName("LangDir");
    LangDir->setToolTip(folder);
    Language = new QComboBox(Reunus);
    Language->setObjectName("Language");
    Language->setIconSize(QSize(16, 16));
    FillLanguageCombo(Language, programFolder, LanguageFlags::DefaultFlag(), LanguageFlags::UnknownFlag());
    Language->setCurrentIndex(0);
    auto *note = new QLabel(QStringLiteral("You can change language anytime you want by going to Options."), Reunus);
    note->setObjectName("Label3");
    note->setWordWrap(true);

    auto *grid = new QGridLayout(Reunus);
    grid->addWidget(choose, 0, 0);
    grid->addWidget(Language, 0, 1);
    grid->addWidget(dirCaption, 1, 0);
    grid->addWidget(LangDir, 1, 1);
    grid->addWidget(note, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    Ok = new TOVBitBtn(QStringLiteral("&Ok"), this);
    Ok->setObjectName("Ok");
    Ok->setDefault(true);
    connect(Ok, &QPushButton::clicked, this, &TKieliIkkuna::OkClick);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(Reunus);
    outer->addWidget(Ok, 0, Qt::AlignHCenter);
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
