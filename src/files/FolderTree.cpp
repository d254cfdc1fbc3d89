// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the shell folder tree and drive combo: drives of the prefix, folders filled on expansion.
#include "files/FolderTree.h"

#include "platform/WinFiles.h"

#include <QFileIconProvider>
#include <QHeaderView>

namespace {
constexpr int PathRole = Qt::UserRole;
constexpr int HostRole = Qt::UserRole + 1;
constexpr int FilledRole = Qt::UserRole + 2;

QString DriveText(QChar letter) { return QString(letter) + QStringLiteral(":\\"); }
}

TShellTreeView::TShellTreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemExpanded, this, &TShellTreeView::Populate);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { emit PathChanged(); });
}

void TShellTreeView::FillDrives()
{
    FillDrives(WinFiles::DrivesOf());
}

void TShellTreeView::FillDrives(const TDriveMap &drives)
{
    const QSignalBlocker block(this);
    FDrives = drives;
    clear();
    static const QFileIconProvider icons;
    auto *root = new QTreeWidgetItem(this, {QStringLiteral("My Computer")});
    root->setIcon(0, icons.icon(QFileIconProvider::Computer));
    root->setData(0, FilledRole, true);
    for (const TDrive &d : drives.Drives())
        if (d.Type != TDriveType::NoRootDir && !d.HostRoot.isEmpty()) {
            QTreeWidgetItem *item = AddFolder(root, DriveText(d.Letter), DriveText(d.Letter), d.HostRoot);
            item->setIcon(0, icons.icon(QFileIconProvider::Drive));
        }
    root->setExpanded(true);
}

QTreeWidgetItem *TShellTreeView::AddFolder(QTreeWidgetItem *parent, const QString &text, const QString &path,
                                           const QString &hostPath)
{
    static const QFileIconProvider icons;
    auto *item = new QTreeWidgetItem(parent, {text});
    item->setData(0, PathRole, path);
    item->setData(0, HostRole, hostPath);
    item->setIcon(0, icons.icon(QFileIconProvider::Folder));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void TShellTreeView::Populate(QTreeWidgetItem *item)
{
    if (!item || item->data(0, FilledRole).toBool())
        return;
    item->setData(0, FilledRole, true);
    const QString path = PathOf(item);
    const QString base = path.endsWith(u'\\') ? path : path + u'\\';
    bool any = false;
    const QString host = item->data(0, HostRole).toString();
    HostFiles::TListNeeds folders;
    folders.Files = false;
    folders.FolderAttributes = false;
    for (const TSearchRec &e : HostFiles::ListFolder(host, nullptr, folders))
        if (e.Attr & FileAttr::Directory) {
            AddFolder(item, e.Name, base + e.Name, e.HostPath);
            any = true;
        }
    // A folder that is a link out of its drive (the profile's Desktop linked to the home) is shown
    // as that link, with where it leads: never as a folder of the prefix.
    for (const QString &name : HostFiles::FolderLinks(host)) {
        const QString shown = WinFiles::ShownFolder(base + name, FDrives);
        if (shown.size() == base.size() + name.size())
            continue;
        AddFolder(item, shown.mid(base.size()), base + name, host + (host.endsWith(u'/') ? QString() : QStringLiteral("/")) + name);
        any = true;
    }
    if (!any)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QString TShellTreeView::PathOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, PathRole).toString() : QString();
}

QString TShellTreeView::SelectedPath() const
{
    return PathOf(currentItem());
}

bool TShellTreeView::SetPath(const QString &path)
{
    QTreeWidgetItem *node = RootItem();
    if (!node)
        return false;
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.first().size() != 2 || parts.first().at(1) != u':')
        return false;
    QString want = parts.takeFirst().toUpper() + u'\\';
    for (;;) {
        QTreeWidgetItem *next = nullptr;
        Populate(node);
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (PathOf(node->child(i)).compare(want, Qt::CaseInsensitive) == 0)
                next = node->child(i);
        if (!next)
            return false;
        node = next;
        if (parts.isEmpty())
            break;
        want = PathOf(node);
        if (!want.endsWith(u'\\'))
            want += u'\\';
        want += parts.takeFirst();
    }
    for (QTreeWidgetItem *p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    setCurrentItem(node);
    scrollToItem(node);
    return true;
}

TShellComboBox::TShellComboBox(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (FTree && index >= 0)
            FTree->SetPath(itemData(index).toString());
    });
}

void TShellComboBox::SetTree(TShellTreeView *tree)
{
    FTree = tree;
    connect(tree, &TShellTreeView::PathChanged, this, &TShellComboBox::FollowTree);
    FollowTree();
}

void TShellComboBox::FillDrives(const TDriveMap &drives)
{
    const QSignalBlocker block(this);
    clear();
    static const QFileIconProvider icons;
    for (const TDrive &d : drives.Drives())
        if (d.Type != TDriveType::NoRootDir && !d.HostRoot.isEmpty())
            addItem(icons.icon(QFileIconProvider::Drive), DriveText(d.Letter), DriveText(d.Letter));
    FollowTree();
}

void TShellComboBox::FollowTree()
{
    if (!FTree)
        return;
    const QString path = FTree->SelectedPath();
    if (path.size() < 2)
        return;
    const int index = findData(path.left(2).toUpper() + u'\\');
    if (index >= 0) {
        const QSignalBlocker block(this);
        setCurrentIndex(index);
    }
}
