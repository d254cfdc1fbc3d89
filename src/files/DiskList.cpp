// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the drive list: a name and an icon per drive, fixed drives preselected.
#include "files/DiskList.h"

#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"

#include <QFileIconProvider>
#include <QHeaderView>

#include <algorithm>

namespace {

constexpr int FolderRole = Qt::UserRole + 1;
constexpr int TypeRole = Qt::UserRole + 2;

const QString SelectedKey = QStringLiteral("Selected disk ");

bool AllDigits(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// What a choice key names after "Selected disk ": a letter, or a row number in the older form;
// *folder tells a " dir" key. Empty for any other key.
QString DriveOfKey(const QString &key, bool *folder)
{
    if (!key.startsWith(SelectedKey, Qt::CaseInsensitive))
        return {};
    QString rest = key.mid(SelectedKey.size());
    *folder = rest.endsWith(QStringLiteral(" dir"), Qt::CaseInsensitive);
    if (*folder)
        rest.chop(4);
    return (rest.size() == 1 && rest.at(0).isLetter()) || AllDigits(rest) ? rest : QString();
}

QString DisplayName(const TDrive &drive)
{
    QString kind;
    switch (drive.Type) {
    case TDriveType::Fixed: kind = QStringLiteral("Local Disk"); break;
    case TDriveType::Removable: kind = QStringLiteral("Removable Disk"); break;
    case TDriveType::CdRom: kind = QStringLiteral("CD Drive"); break;
    case TDriveType::Remote: kind = QStringLiteral("Network Drive"); break;
    case TDriveType::NoRootDir: break;
    }
    return QStringLiteral("%1 (%2:)").arg(kind, drive.Letter);
}

QIcon DriveIcon(const TDrive &drive)
{
    static QFileIconProvider provider;
    switch (drive.Type) {
    case TDriveType::Remote: return provider.icon(QFileIconProvider::Network);
    default: return provider.icon(QFileIconProvider::Drive);
    }
}

} // namespace

TDiskListView::TDiskListView(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName("DiskList");
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Select drives")});
    header()->setSectionsClickable(false);
    header()->setStretchLastSection(true);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setIconSize(QSize(16, 16));
}

void TDiskListView::FillDrives()
{
    const std::shared_ptr<TWinePrefix> prefix = TWinePrefix::Current();
    if (prefix)
        FillDrives(prefix->Drives());
    else
        FillDrives(TDriveMap());
}

void TDiskListView::FillDrives(const TDriveMap &drives)
{
    const QSignalBlocker block(this);
    clear();
    Drives.clear();
    FDriveMap = drives;
    for (const TDrive &drive : drives.Drives()) {
        if (drive.Type == TDriveType::NoRootDir || drive.HostRoot.isEmpty())
            continue;
        auto *item = new QTreeWidgetItem(this);
        item->setText(0, DisplayName(drive));
        item->setIcon(0, DriveIcon(drive));
        item->setData(0, FolderRole, QString());
        item->setData(0, TypeRole, int(drive.Type));
        Drives.append(drive.Letter);
        if (drive.Type == TDriveType::Fixed && SelectLocalDrives && !SelectedOnlyByClick(int(Drives.size()) - 1))
            item->setSelected(true);
    }
}

bool TDiskListView::SelectedOnlyByClick(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return !item || Drives.value(row) == u'Z' || item->data(0, TypeRole).toInt() == int(TDriveType::Remote);
}

void TDiskListView::ReadSelection(const TIniFile &ini, const QString &section, bool withFolders)
{
    bool stored = false;
    FMissingDrives.clear();
    for (const QString &key : ini.ReadSection(section)) {
        bool folder = false;
        const QString drive = DriveOfKey(key, &folder);
        stored = stored || (!drive.isEmpty() && !folder);
        if (!folder && drive.size() == 1 && drive.at(0).isLetter() && !Drives.contains(drive.at(0).toUpper())
            && ini.ReadBool(section, key, false))
            FMissingDrives.append(drive.at(0).toUpper());
    }
    for (int row = 0; row < topLevelItemCount(); ++row) {
        const QString key = SelectedKey + Drives.value(row);
        QTreeWidgetItem *item = topLevelItem(row);
        if (stored)
            item->setSelected(ini.ReadBool(section, key, false));
        if (withFolders)
            SetFolder(row, ini.ReadString(section, key + QStringLiteral(" dir"), QString()));
    }
}

void TDiskListView::WriteSelection(TIniFile &ini, const QString &section, bool withFolders) const
{
    for (const QString &key : ini.ReadSection(section)) {
        bool folder = false;
        if (AllDigits(DriveOfKey(key, &folder)))
            ini.DeleteKey(section, key);
    }
    for (int row = 0; row < topLevelItemCount(); ++row) {
        const QString key = SelectedKey + Drives.value(row);
        ini.WriteBool(section, key, topLevelItem(row)->isSelected());
        if (withFolders)
            ini.WriteString(section, key + QStringLiteral(" dir"), Folder(row));
    }
}

QStringList TDiskListView::MissingChoices() const
{
    QStringList missing;
    for (QChar letter : FMissingDrives)
        missing << QStringLiteral("The drive %1: chosen to search does not exist").arg(letter);
    for (int row = 0; row < topLevelItemCount(); ++row) {
        const QString folder = QString(Drives.value(row)) + u':' + Folder(row);
        if (topLevelItem(row)->isSelected() && !Folder(row).isEmpty() && !WinFiles::DirectoryExists(folder, FDriveMap))
            missing << QStringLiteral("The folder %1 chosen to search does not exist").arg(folder);
    }
    return missing;
}

QString TDiskListView::SelectedDrives() const
{
    QStringList entries;
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->isSelected())
            entries.append(QStringLiteral("\"%1:%2\"").arg(Drives.value(row), Folder(row)));
    return entries.join(',');
}

void TDiskListView::SetFolder(int row, const QString &folder)
{
    if (QTreeWidgetItem *item = topLevelItem(row)) {
        item->setData(0, FolderRole, folder);
        const QString shown =
            folder.isEmpty() ? folder : WinFiles::ShownFolder(QString(Drives.value(row)) + u':' + folder, FDriveMap).mid(2);
        item->setText(1, shown);
        item->setToolTip(1, shown);
    }
}

void TDiskListView::ShowFolders()
{
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Select drives"), QStringLiteral("Folder")});
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setTextElideMode(Qt::ElideMiddle);
}

QString TDiskListView::Folder(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->data(0, FolderRole).toString() : QString();
}
