// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the about box TAboutBox: product line, maker's notice, the prefix's Windows version and the machine's memory.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QDate;
class QFrame;
class QLabel;
class TOVBitBtn;
struct TSettings;
namespace Ui {
class TAboutBox;
}

// The Windows version as the prefix reports it. Family 0 = Win32s, 1 = the 95 line, 2 = the NT line.
struct TPlatformVersion {
    int Family = 2;
    int Major = 0;
    int Minor = 0;
    quint32 Build = 0;
    QString ServicePack;
};

namespace About {
// "Windows XP (Build 2600: Service Pack 2)" and the like.
QString PlatformDescription(const TPlatformVersion &v);
// The current prefix's HKLM\Software\Microsoft\Windows NT\CurrentVersion, else the 95 line's
// Windows\CurrentVersion "VersionNumber"; nullopt when neither can be read.
std::optional<TPlatformVersion> PrefixPlatformVersion();
// kiloBytes with the locale's thousands separators and " KB" ("%.0n KB").
QString MemoryDescription(quint64 kiloBytes);
// The host's physical memory in KB (/proc/meminfo); 0 when unknown.
quint64 PhysicalMemoryKB();
// "Copyright (c) 1997-<year> Orvendal", the year being today's but never before 2006.
QString MakerNotice(const QDate &today);

// What a click on a link label opens; the default hands http(s) and mailto addresses to the desktop.
using TLinkOpener = std::function<void(const QString &address)>;
void SetLinkOpener(TLinkOpener opener);
}

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    // settings: its user font and language; programFolder: where "Languages/" is (a host folder);
    // version: the four-number program version (empty: ProgramVersion of this build).
    TAboutBox(QWidget *parent, const TSettings &settings, const QString &programFolder, const QString &version = {});
    ~TAboutBox() override;

    void GetAllSystemInfo();

    QFrame *Bevel = nullptr;
    QFrame *Reunus = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Version = nullptr;
    QLabel *Freeware = nullptr;
    QLabel *Windows = nullptr;
    QLabel *WindowsCaption = nullptr;  // "System:"
    QLabel *Memory = nullptr;
    QLabel *MemoryCaption = nullptr;   // "Physical memory:"
    QLabel *HomepageCaption = nullptr;
    QLabel *Homepage = nullptr;  // link labels: their hint is the address they open
    QLabel *EmailCaption = nullptr;
    QLabel *Email = nullptr;
    QLabel *Credits = nullptr;
    TOVBitBtn *btnOk = nullptr;

public slots:
    void outLabel4Click(QLabel *link);

protected:
    void showEvent(QShowEvent *event) override;  // FormShow
    void paintEvent(QPaintEvent *event) override;  // FormPaint
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate(const QString &version);
    std::unique_ptr<Ui::TAboutBox> ui;
    const TSettings &FSettings;
    QString FProgramFolder;
};
