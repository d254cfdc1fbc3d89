// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: translating a window's texts from the current language file.
#include "shell/IniLangUi.h"

#include "platform/CommaText.h"
#include "shell/IniLang.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>

namespace {

const char *const HoldsUserDataProperty = "vaskimoHoldsUserData";

// A page of a tab widget sits in the tab widget's own stack.
QTabWidget *TabOwner(QWidget *page)
{
    QWidget *stack = page->parentWidget();
    if (!qobject_cast<QStackedWidget *>(stack))
        return nullptr;
    auto *tabs = qobject_cast<QTabWidget *>(stack->parentWidget());
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

void SetCaption(QObject *object, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(object))
        label->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(object))
        group->setTitle(text);
    else if (auto *action = qobject_cast<QAction *>(object))
        action->setText(text);
    else if (auto *menu = qobject_cast<QMenu *>(object))
        menu->setTitle(text);
    else if (auto *dock = qobject_cast<QDockWidget *>(object))
        dock->setWindowTitle(text);
    else if (auto *page = qobject_cast<QWidget *>(object); page && TabOwner(page))
        TabOwner(page)->setTabText(TabOwner(page)->indexOf(page), text);
    else if (object->property("caption").metaType() == QMetaType::fromType<QString>())
        object->setProperty("caption", text);
}

void SetHint(QObject *object, const QString &text)
{
    if (auto *widget = qobject_cast<QWidget *>(object))
        widget->setToolTip(text);
    else if (auto *action = qobject_cast<QAction *>(object))
        action->setToolTip(text);
}

void TranslateColumns(QAbstractItemView *view, const QString &prefix, const QString &section)
{
    QAbstractItemModel *model = view->model();
    if (!model)
        return;
    const int columns = model->columnCount();
    for (int i = 0; i < columns; ++i) {
        const QString text = LangValue(section, prefix + QStringLiteral(".columns.items[%1].caption").arg(i));
        if (text.isEmpty())
            continue;
        if (auto *tree = qobject_cast<QTreeWidget *>(view))
            tree->headerItem()->setText(i, text);
        else if (!model->setHeaderData(i, Qt::Horizontal, text, Qt::DisplayRole))
            model->setHeaderData(i, Qt::Horizontal, text, Qt::EditRole);
    }
}

void TranslateNodes(QTreeWidget *tree, const QString &prefix, const QString &section)
{
    int index = 0;
    const std::function<void(QTreeWidgetItem *)> visit = [&](QTreeWidgetItem *item) {
        const QString text = LangValue(section, prefix + QStringLiteral(".items.item[%1].text").arg(index++));
        if (!text.isEmpty())
            item->setText(0, text);
        for (int c = 0; c < item->childCount(); ++c)
            visit(item->child(c));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        visit(tree->topLevelItem(i));
}

// The first kind the object is gets its key family: chart, list, combo box, tree, edit.
void TranslateKind(QObject *object, const QString &prefix, const QString &section)
{
    const QVariant titleLines = object->property("TitleLines");
    if (titleLines.metaType() == QMetaType::fromType<QStringList>()) {
        const QString text = LangValue(section, prefix + QStringLiteral(".Title.Text.CommaText"));
        if (!text.isEmpty())
            object->setProperty("TitleLines", CommaTextToList(text));
        return;
    }
    if (qobject_cast<QTreeView *>(object) || qobject_cast<QTableView *>(object)) {
        auto *view = static_cast<QAbstractItemView *>(object);
        TranslateColumns(view, prefix, section);
        if (auto *tree = qobject_cast<QTreeWidget *>(object))
            TranslateNodes(tree, prefix, section);
        return;
    }
    if (auto *combo = qobject_cast<QComboBox *>(object)) {
        for (int i = 0; i < combo->count(); ++i) {
            const QString text = LangValue(section, prefix + QStringLiteral(".items[%1]").arg(i));
            if (!text.isEmpty())
                combo->setItemText(i, text);
        }
        return;
    }
    auto *widget = qobject_cast<QWidget *>(object);
    const bool isEdit = qobject_cast<QLineEdit *>(object) || qobject_cast<QPlainTextEdit *>(object) ||
                        qobject_cast<QTextEdit *>(object);
    if (!isEdit || HoldsUserData(widget))
        return;
    const QString text = LangValue(section, prefix + QStringLiteral(".Text"));
    if (text.isEmpty())
        return;
    if (auto *line = qobject_cast<QLineEdit *>(object))
        line->setText(text);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(object))
        plain->setPlainText(text);
    else if (auto *rich = qobject_cast<QTextEdit *>(object))
        rich->setPlainText(text);
}

// An object of the form itself (its menus too), not of a window that the form owns: a kept tool
// window is a child of the main window, and takes the texts of its own section.
bool OfWindow(const QObject *object, const QWidget *form)
{
    for (const QObject *o = object; o && o != form; o = o->parent())
        if (o->isWidgetType() && static_cast<const QWidget *>(o)->isWindow()
            && static_cast<const QWidget *>(o)->windowType() != Qt::Popup)
            return false;
    return true;
}

}  // namespace

void TranslateForms(QWidget *form)
{
    if (!form || !LanguageFile())
        return;
    const QString section = form->objectName();
    if (section.isEmpty())
        return;
    const QString caption = LangValue(section, section + QStringLiteral(".Caption"));
    if (!caption.isEmpty())
        form->setWindowTitle(caption);
    // Depth first, parents before children: the form description's order.
    const QList<QObject *> objects = form->findChildren<QObject *>();
    for (QObject *object : objects) {
        const QString name = object->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || !OfWindow(object, form))
            continue;
        const QString prefix = section + u'.' + name;
        const QString text = LangValue(section, prefix + QStringLiteral(".Caption"));
        if (!text.isEmpty())
            SetCaption(object, text);
        const QString hint = LangValue(section, prefix + QStringLiteral(".Hint"));
        if (!hint.isEmpty())
            SetHint(object, hint);
        TranslateKind(object, prefix, section);
    }
}

void TranslateWindow(QWidget *window, int languageIndex, const QString &language, const QString &programFolder)
{
    if (languageIndex != 0)
        OpenLanguageFile(programFolder, language);
    TranslateForms(window);
}

void SetHoldsUserData(QWidget *edit, bool holds)
{
    if (edit)
        edit->setProperty(HoldsUserDataProperty, holds);
}

bool HoldsUserData(const QWidget *edit)
{
    return edit && edit->property(HoldsUserDataProperty).toBool();
}
