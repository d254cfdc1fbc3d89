// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: translating a window's texts from the current language file (IniLang.h).
//
// Keys, for window F (its objectName) and a child object C (its objectName):
//   F.Caption                                the window title
//   F.C.Caption                              a button's, label's, group box's, action's or tab page's text
//   F.C.Hint                                 the tooltip
//   F.C.columns.items[i].caption             column i of a list (QTreeView/QTreeWidget/QTableView header;
//                                            a view over a model of its own takes it through the model's
//                                            setHeaderData(i, Qt::Horizontal, text, Qt::DisplayRole))
//   F.C.items[i]                             item i of a combo box
//   F.C.items.item[i].text                   node i of a tree (QTreeWidget), counted in pre-order
//   F.C.Text                                 an edit's text (QLineEdit, QPlainTextEdit, QTextEdit)
//   F.C.Title.Text.CommaText                 a chart's title lines, as comma text (any object with a
//                                            QStringList property "TitleLines")
// Child objects whose names are empty or start with "qt_" (Qt's own parts) are not looked up.
// An empty value never blanks a design text; nothing is added or removed.
#pragma once

class QString;
class QWidget;

// Translates form and every named child object from the current language file; nothing when none
// is open. Edits marked with SetHoldsUserData keep their text.
void TranslateForms(QWidget *form);

// What a translated window does when it translates itself: with a language in use (languageIndex,
// the settings' FLanguageIndex, not 0) it first makes programFolder's "Languages/" + language +
// ".txt" the current file anew; with 0 it keeps whatever file is current. Then TranslateForms.
void TranslateWindow(QWidget *window, int languageIndex, const QString &language, const QString &programFolder);

// Marks an edit whose text is the user's own data (a skip list read from the settings, a password):
// a language file never overwrites its text.
void SetHoldsUserData(QWidget *edit, bool holds = true);
bool HoldsUserData(const QWidget *edit);
