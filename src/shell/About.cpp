// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the about box and its system information (the prefix's Windows version, the host's memory).
#include "shell/About.h"

#include "platform/Registry.h"
#include "shell/Buttons.h"
#include "shell/IniLangUi.h"
#include "shell/Main.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"
#include "shell/Splash.h"

#include "ui_About.h"

#include <QDate>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace {

About::TLinkOpener &LinkOpener()
{
    static About::TLinkOpener opener;
    return opener;
}

std::optional<QString> ReadText(TRegistry &reg, const QString &name)
{
    try {
        if (reg.ValueExists(name))
            return reg.ReadString(name);
    } catch (const ERegistryException &) {
    }
    return std::nullopt;
}

std::optional<quint32> ReadNumber(TRegistry &reg, const QString &name)
{
    try {
        if (reg.ValueExists(name))
            return reg.ReadInteger(name);
    } catch (const ERegistryException &) {
    }
    return std::nullopt;
}

} // namespace

QString About::PlatformDescription(const TPlatformVersion &v)
{
    const QString numbers = QString::number(v.Major) + u'.' + QString::number(v.Minor);
    QString text;
    if (v.Family == 0) {
        text = QStringLiteral("Win32 on Windows 3.xx");
    } else if (v.Family == 1) {
        text = QStringLiteral("Windows");
        if (v.Major == 4 && v.Minor == 10)
            text += QStringLiteral(" 98");
        else if (v.Major == 4 && v.Minor == 90)
            text += QStringLiteral(" ME");
        else if (v.Major == 4)
            text += QStringLiteral(" 95");
        else
            text += u' ' + numbers;
    } else if (v.Family == 2) {
        text = QStringLiteral("Windows");
        if (v.Major == 5 && v.Minor == 0)
            text += QStringLiteral(" 2000");
        else if (v.Major == 5 && v.Minor == 1)
            text += QStringLiteral(" XP");
        else
            text += QStringLiteral(" NT ") + numbers;
    } else {
        text = QStringLiteral("Unknown ") + numbers;
    }
    text += QStringLiteral(" (Build ") + QString::number(v.Build & 0xFFFF);
    if (!v.ServicePack.isEmpty())
        text += QStringLiteral(": ") + v.ServicePack;
    return text + u')';
}

std::optional<TPlatformVersion> About::PrefixPlatformVersion()
{
    try {
        TRegistry reg(TRootKey::LocalMachine);
        if (reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Microsoft\\Windows NT\\CurrentVersion"))) {
            TPlatformVersion v;
            v.Family = 2;
            const std::optional<quint32> major = ReadNumber(reg, QStringLiteral("CurrentMajorVersionNumber"));
            const std::optional<quint32> minor = ReadNumber(reg, QStringLiteral("CurrentMinorVersionNumber"));
            if (major && minor) {
                v.Major = int(*major);
                v.Minor = int(*minor);
            } else if (const std::optional<QString> version = ReadText(reg, QStringLiteral("CurrentVersion"))) {
                const QStringList parts = version->split(u'.');
                v.Major = parts.value(0).toInt();
                v.Minor = parts.value(1).toInt();
            } else {
                return std::nullopt;
            }
            std::optional<QString> build = ReadText(reg, QStringLiteral("CurrentBuildNumber"));
            if (!build)
                build = ReadText(reg, QStringLiteral("CurrentBuild"));
            v.Build = build ? build->toUInt() : 0;
            v.ServicePack = ReadText(reg, QStringLiteral("CSDVersion")).value_or(QString());
            return v;
        }
        if (reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion"))) {
            // "4.10.2222": major, minor, build.
            if (const std::optional<QString> number = ReadText(reg, QStringLiteral("VersionNumber"))) {
                const QStringList parts = number->split(u'.');
                if (parts.size() >= 2) {
                    TPlatformVersion v;
                    v.Family = 1;
                    v.Major = parts[0].toInt();
                    v.Minor = parts[1].toInt();
                    v.Build = parts.value(2).toUInt();
                    v.ServicePack = ReadText(reg, QStringLiteral("SubVersionNumber")).value_or(QString()).trimmed();
                    return v;
                }
            }
        }
    } catch (const std::exception &) {
    }
    return std::nullopt;
}

QString About::MemoryDescription(quint64 kiloBytes)
{
    return GroupedNumber(double(kiloBytes)) + QStringLiteral(" KB");
}

quint64 About::PhysicalMemoryKB()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression total(QStringLiteral("^MemTotal:\\s*(\\d+)\\s*kB"),
                                          QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = total.match(QString::fromLatin1(meminfo.readAll()));
    return m.hasMatch() ? m.captured(1).toULongLong() : 0;
}

QString About::MakerNotice(const QDate &today)
{
    const int year = std::max(2006, today.year());
    return QStringLiteral("Copyright \u00A9 1997-%1 Orvendal").arg(year);
}

void About::SetLinkOpener(TLinkOpener opener) { LinkOpener() = std::move(opener); }

TAboutBox::~TAboutBox() = default;

TAboutBox::TAboutBox(QWidget *parent, const TSettings &settings, const QString &programFolder, const QString &version)
    : QDialog(parent), FSettings(settings), FProgramFolder(programFolder)
{
    FormCreate(version.isEmpty() ? TOdota::GetVersion() : version);
}

void TAboutBox::FormCreate(const QString &version)
{
    ui = std::make_unique<Ui::TAboutBox>();
    ui->setupUi(this);
    setProperty("HelpContext", 11);
    Bevel = ui->Bevel;
    Reunus = ui->Reunus;
    ProductName = ui->ProductName;
    Label6 = ui->Label6;
    Version = ui->Version;
    Freeware = ui->Freeware;
    Windows = ui->Windows;
    WindowsCaption = ui->WindowsCaption;
    Memory = ui->Memory;
    MemoryCaption = ui->MemoryCaption;
    HomepageCaption = ui->HomepageCaption;
    Homepage = ui->Homepage;
    EmailCaption = ui->EmailCaption;
    Email = ui->Email;
    Credits = ui->Credits;
    btnOk = ui->btnOk;

    ui->ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/main/pictures/Vaskimo.png")));
    QFont big = ProductName->font();
    big.setBold(true);
    big.setPointSize(std::max(10, big.pointSize() + 4));
    // Label6 is the product line's shadow: the same text in the same place, two pixels down and
    // right, under it.
    for (QLabel *line : {ProductName, Label6})
        line->setFont(big);
    ProductName->setContentsMargins(0, 0, 2, 2);
    Label6->setContentsMargins(2, 2, 0, 0);
    QPalette shadow = Label6->palette();
    shadow.setColor(QPalette::WindowText, QColor(0xA0, 0xA0, 0xA0));
    Label6->setPalette(shadow);
    Label6->stackUnder(ProductName);
    Version->setText(About::MakerNotice(QDate::currentDate()));
    for (QLabel *link : {Homepage, Email}) {
        link->setStyleSheet(QStringLiteral("color: blue"));
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }
    if (!version.isEmpty()) {
        ProductName->setText(QStringLiteral("Vaskimo ") + version);
        Label6->setText(QStringLiteral("Vaskimo ") + version);
    }
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    GetAllSystemInfo();
}

void TAboutBox::GetAllSystemInfo()
{
    if (const std::optional<TPlatformVersion> v = About::PrefixPlatformVersion())
        Windows->setText(About::PlatformDescription(*v));
    else
        Windows->clear();
    Memory->setText(About::MemoryDescription(About::PhysicalMemoryKB()));
}

void TAboutBox::showEvent(QShowEvent *event)
{
    const TFontSetting &user = FSettings.FUserFont;
    for (QLabel *l : {Homepage, Email, Credits, HomepageCaption, EmailCaption}) {
        QFont f = l->font();
        if (!user.Name.isEmpty())
            f.setFamily(user.Name);
        if (user.Size > 0)
            f.setPointSize(user.Size);
        l->setFont(f);
    }
    for (QLabel *l : {ProductName, Label6}) {
        QFont f = l->font();
        if (!user.Name.isEmpty())
            f.setFamily(user.Name);
        l->setFont(f);
    }
    if (FSettings.FLanguageIndex != 0)
        TranslateWindow(this, FSettings.FLanguageIndex, FSettings.FLanguage, FProgramFolder);
    QDialog::showEvent(event);
}

void TAboutBox::paintEvent(QPaintEvent *event)
{
    if (PaaIkkuna) {
        QPainter painter(this);
        PaaIkkuna->PaintBackground(this, painter, true);
    }
    QDialog::paintEvent(event);
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        if (auto *link = qobject_cast<QLabel *>(watched); link == Homepage || link == Email) {
            outLabel4Click(link);
            return true;
        }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::outLabel4Click(QLabel *link)
{
    const QString address = link ? link->toolTip() : QString();
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("mailto"))
        return;
    if (LinkOpener())
        LinkOpener()(address);
    else
        QDesktopServices::openUrl(url);
}
