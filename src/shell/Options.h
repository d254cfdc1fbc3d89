// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options window TOptionsIkkuna: eleven pages of settings, their enabling rules, pickers and the auto-start questions.
//
// The window never reads or writes "Options.ini". It is made for one use: bound to the caller's
// settings, it fills its controls from them when it is created and copies them back only when it
// closes with OK (then QDialog::accepted follows, for the caller to write the file and set the
// auto-start value). Cancel leaves the settings untouched.
#pragma once

#include <QDialog>
#include <QFont>

#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TOVBitBtn;
struct TSettings;
namespace Ui {
class TOptionsIkkuna;
}

namespace Options {
// The pickers the window opens; tests replace them. Each returns nothing when the user cancelled.
// A folder comes back as the settings hold folders (a Windows path through the prefix's drives).
using TFolderPicker = std::function<std::optional<QString>(QWidget *parent, const QString &title)>;
using TPicturePicker = std::function<std::optional<QString>(QWidget *parent, const QString &title)>;
using TFontPicker = std::function<std::optional<QFont>(QWidget *parent, const QFont &initial)>;
void SetFolderPicker(TFolderPicker picker);    // empty: the real dialogs
void SetPicturePicker(TPicturePicker picker);
void SetFontPicker(TFontPicker picker);

// "Tahoma, 8pt, Bold": name, size, then each style present.
QString FontDescription(const QFont &font);
}

class TOptionsIkkuna : public QDialog
{
    Q_OBJECT
public:
    // The bare window (FormCreate); winNT enables the compressed-size choice.
    explicit TOptionsIkkuna(QWidget *parent = nullptr, bool winNT = true);
    ~TOptionsIkkuna() override;
    // Bound to settings: translated when a language is in use (settings.FLanguageIndex != 0),
    // filled from settings and runAtStartup (the Start box), the enabling rules run once. On OK the
    // controls go back into settings before accepted() is emitted. programFolder: the host folder
    // holding "Languages/".
    TOptionsIkkuna(QWidget *parent, TSettings &settings, bool runAtStartup, const QString &programFolder, bool winNT);

    // The exchange without a binding: fills (and runs the enabling rules), or reads back.
    void FillFrom(const TSettings &settings, bool runAtStartup, const QString &programFolder);
    void ReadInto(TSettings &settings) const;
    bool RunAtStartup() const;  // the Start box
    bool OptionsShown() const { return FOptionsShown; }

    // Runs every click handler, so that the enabled states match the controls' values.
    void RunEnablingRules();

    QTabWidget *Asetukset = nullptr;
    QFrame *Reunus = nullptr;
    TOVBitBtn *Ok = nullptr;
    TOVBitBtn *Cancel = nullptr;
    QLabel *FontLabel = nullptr;
    QLabel *LangDir = nullptr;

    // Any control by its object name ("SameSize", "UndoHakemisto").
    template <class T>
    T *Control(const char *name) const { return findChild<T *>(QString::fromLatin1(name)); }

public slots:
    void SameSizeClick();
    void UndoClick();
    void UndoLisaaPoistaClick();
    void StartupUndoClick();
    void UseProxyClick();
    void AutoUpdateClick();
    void NoBGClick();
    void AvaaButtonClick();
    void btnFontClick();
    void HaeHakClick();
    void GetHakemistoClick();
    void HaeStartupHakClick();
    void BrowseButtonClick();
    void btnAddCustomDirClick();
    void btnRemoveCustomDirClick();
    void CustomDirClick();
    void CustomDirMouseMove(QListWidgetItem *item);
    void RegistryCheckClick();
    void WeeklyClick();
    void TimeDayClick();
    void ShowFontText();

    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;  // FormShow

private:
    void FormCreate(bool winNT);
    void ShowPageList();
    void SchedulingRules();
    void AskAboutAutoStart();
    void PickFolderInto(const char *editName);
    void Enable(std::initializer_list<const char *> names, bool enabled);
    bool Checked(const char *name) const;

    std::unique_ptr<Ui::TOptionsIkkuna> ui;
    TSettings *FBound = nullptr;
    bool FOptionsShown = false;
};
