// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the first run's language chooser TKieliIkkuna: the language files beside the program, with their flags.
#pragma once

#include <QDialog>
#include <QIcon>

#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class TOVBitBtn;
namespace Ui {
class TKieliIkkuna;
}

class TKieliIkkuna : public QDialog
{
    Q_OBJECT
public:
    // programFolder: the host folder that holds "Languages/".
    explicit TKieliIkkuna(const QString &programFolder, QWidget *parent = nullptr);
    ~TKieliIkkuna() override;

    // The choice: index 0 is "Default (English)", then the language files in listing order.
    int ItemIndex() const;
    QString ItemText() const;

    // Shows the chooser modally and gives its choice (also when it was closed without OK: the
    // selection stands, "Default (English)" unless the user picked another). Fits
    // TStartHooks::ChooseLanguage once the program folder is bound.
    static bool ChooseLanguage(QWidget *parent, const QString &programFolder, int *index, QString *language);

    QFrame *Reunus = nullptr;
    QLabel *LangDir = nullptr;
    QComboBox *Language = nullptr;
    TOVBitBtn *Ok = nullptr;

public slots:
    void OkClick();

private:
    void FormCreate(const QString &programFolder);
    std::unique_ptr<Ui::TKieliIkkuna> ui;
};

namespace LanguageFlags {
// The language image list's design pictures: 0 the default language's flag, 1 a language without one.
QIcon DefaultFlag();
QIcon UnknownFlag();
}
