// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: translating a window's texts from the current language file.
#include "shell/IniLangUi.h"

#include <QWidget>

void TranslateForms(QWidget *) {}
void SetHoldsUserData(QWidget *edit, bool holds) { edit->setProperty("vaskimoHoldsUserData", holds); }
bool HoldsUserData(const QWidget *edit) { return edit->property("vaskimoHoldsUserData").toBool(); }
