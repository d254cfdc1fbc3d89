// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options window's exchange with the settings, and the settings' colours and font in Qt.
//
// The options window is made anew for each use; the main window fills its controls from a copy
// of the settings, shows it and, on OK, reads them back (then applies and writes: Settings.h).
// Controls are found by object name, by the names the settings table gives them:
//   check boxes (QAbstractButton)     ShowSplash, HideTray, ..., Monday ... Saturnday, Sunday
//   radio pairs, first = true          DuplicateRecycle/DuplicateDelete, Compressed/Uncompressed, ...
//   spin boxes                         ProxyPortUpDown (or ProxyPort), PortUpDown (or Port),
//                                      UndoLevelsUpDown (or UndoLevels), IdleEditUpDown (or IdleEdit)
//   line edits                         Proxy, ProxyUsername, ProxyPassword, Address, SaveTo,
//                                      UndoHakemisto, LisaaPoistaUndoHakemisto, StartupUndoHakemisto,
//                                      TimeEdit (or a QTimeEdit)
//   combo boxes by index               BGStyle, MonthBox
//   BackGround (QComboBox)             item 0 "Default", then the own picture when one is in use
//   BGColor (QComboBox)                items carry their TColor as Qt::UserRole data (FillColorCombo)
//   Language (QComboBox)               "Default (English)" and the language files (FillLanguageCombo)
//   CustomDir (QListWidget)            one folder per item (AddCustomDirItem)
//   the dialog's "UserFont" property  (a QFont) the font dialog's font
// A control the window lacks is skipped; a setting without a control keeps its value.
#pragma once

#include "shell/Settings.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>

class QComboBox;
class QListWidget;
class QWidget;

// System colours follow the palette (clBtnFace = the button colour); others are 0x00BBGGRR.
QColor ToQColor(TColor color, const QPalette &palette = QPalette());
TColor FromQColor(const QColor &color);  // an RGB value, never a system colour

QFont ToQFont(const TFontSetting &font);
TFontSetting FromQFont(const QFont &font);
// The default of the user font: the desktop's general font.
TFontSetting ScreenIconFont();

// The standard colour table's entries, each with a swatch and its TColor as item data.
void FillColorCombo(QComboBox *combo);

// "Default (English)" with englishIcon, then each programFolder/Languages/*.txt without its
// extension in the listing's order, with the language's flag (the .bmp of the same name, 16 x 16)
// or unknownIcon.
void FillLanguageCombo(QComboBox *combo, const QString &programFolder, const QIcon &englishIcon,
                       const QIcon &unknownIcon);

// Fills the controls of dialog from s (the Language combo must be filled first).
void FillOptionControls(QWidget *dialog, const TSettings &s);

// One custom directory as the list shows it: a profile folder linked out of the prefix shows the
// host folder it leads to, and the folder itself is what the item stores.
void AddCustomDirItem(QListWidget *list, const QString &folder);

// Reads the controls of dialog back into s.
void ReadOptionControls(const QWidget *dialog, TSettings &s);
