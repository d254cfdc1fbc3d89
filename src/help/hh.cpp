// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the HTML Help loader's module state, version names and help addresses.
#include "help/hh.h"

#include "platform/ProgramInfo.h"

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <iterator>

namespace {

struct TNamedVersion {
    quint16 Major, Minor, Release, Build;
    const char *Name;
};

// Newest first.
const TNamedVersion HHNames[] = {
    {5, 2, 3669, 0, "1.4a"},  {5, 2, 3626, 0, "1.4"},   {4, 74, 9273, 0, "1.33"}, {4, 74, 8857, 0, "1.32"},
    {4, 74, 8793, 0, "1.31"}, {4, 74, 8702, 0, "1.3"},  {4, 73, 8561, 0, "1.22"}, {4, 73, 8474, 0, "1.21a"},
    {4, 73, 8412, 0, "1.21"}, {4, 73, 8252, 0, "1.2"},  {4, 72, 8164, 0, "1.1b"}, {4, 72, 7325, 0, "1.1a"},
    {4, 72, 7323, 0, "1.1"},  {4, 72, 7290, 0, "1.0"},
};

const TNamedVersion IENames[] = {
    {6, 0, 3790, 0, "Internet Explorer 6 (Windows Server 2003)"},
    {6, 0, 3718, 0, "Internet Explorer 6 (Windows Server 2003 RC2)"},
    {6, 0, 3663, 0, "Internet Explorer 6 (Windows Server 2003 RC1)"},
    {6, 0, 2900, 2180, "Internet Explorer 6 (Windows XP SP2)"},
    {6, 0, 2800, 1106, "Internet Explorer 6 SP1"},
    {6, 0, 2712, 300, "Internet Explorer 6 (Windows XP + minor update)"},
    {6, 0, 2600, 0, "Internet Explorer 6 (Windows XP)"},
    {6, 0, 2479, 6, "Internet Explorer 6 Public Preview (Beta) Refresh"},
    {6, 0, 2462, 0, "Internet Explorer 6 Public Preview (Beta)"},
    {5, 50, 4807, 2300, "Internet Explorer 5.5 Service Pack 2"},
    {5, 50, 4522, 1800, "Internet Explorer 5.5 Service Pack 1"},
    {5, 50, 4308, 2900, "Internet Explorer 5.5 Advanced Security Privacy Beta"},
    {5, 50, 4134, 600, "Internet Explorer 5.5"},
    {5, 50, 4134, 100, "Internet Explorer 5.5 for Windows Me (4.90.3000)"},
    {5, 50, 4030, 2400, "Internet Explorer 5.5 & Internet Tools Beta"},
    {5, 50, 3825, 1300, "Internet Explorer 5.5 Developer Preview"},
    {5, 0, 2919, 6307, "Internet Explorer 5.01"},
    {5, 0, 2919, 3800, "Internet Explorer 5.01 (Windows 2000 RC2, build 5.00.2128)"},
    {5, 0, 2919, 800, "Internet Explorer 5.01 (Windows 2000 RC1, build 5.00.2072)"},
    {5, 0, 2721, 1400, "Internet Explorer 5.0 updated"},
    {5, 0, 2614, 0, "Internet Explorer 5.0b"},
    {5, 0, 2314, 0, "Internet Explorer 5.0a"},
    {5, 0, 2014, 0, "Internet Explorer 5.0"},
    {5, 0, 910, 0, "Internet Explorer 5 Beta (Beta 2)"},
    {5, 0, 518, 0, "Internet Explorer 5 Developer Preview (Beta 1)"},
    {4, 72, 3612, 0, "Internet Explorer 4.01 Service Pack 2 (SP2)"},
    {4, 72, 3110, 0, "Internet Explorer 4.01 Service Pack 1 (SP1)"},
    {4, 72, 2106, 0, "Internet Explorer 4.01"},
    {4, 71, 1712, 0, "Internet Explorer 4.0"},
    {4, 71, 1008, 0, "Internet Explorer 4.0 Platform Preview 2.0 (PP2)"},
    {4, 71, 544, 0, "Internet Explorer 4.0 Platform Preview 1.0 (PP1)"},
    {4, 70, 1300, 0, "Internet Explorer 3.02"},
    {4, 70, 1215, 0, "Internet Explorer 3.01"},
    {4, 70, 1158, 0, "Internet Explorer 3.0 (OSR2)"},
    {4, 70, 1155, 0, "Internet Explorer 3.0"},
    {4, 40, 520, 0, "Internet Explorer 2.0"},
    {4, 40, 308, 0, "Internet Explorer 1.0 (Plus!)"},
};

TFileVersion Named(const TNamedVersion &v) { return TFileVersion::Of(v.Major, v.Minor, v.Release, v.Build); }

// The first row not newer than the version names it; newer than every row, or older than all,
// gets the given names.
template <std::size_t N>
QString FriendlyName(const TFileVersion &version, const TNamedVersion (&rows)[N],
                     const QList<QPair<TFileVersion, QString>> &above, const QString &below)
{
    if (version.IsEmpty())
        return {};
    for (const auto &[limit, name] : above)
        if (CompareVersions(version, limit) > 0)
            return name;
    for (const TNamedVersion &row : rows)
        if (CompareVersions(Named(row), version) <= 0)
            return QString::fromLatin1(row.Name);
    return below;
}

struct TLoader {
    QMutex Lock;
    THtmlHelpEngine Registered;
    THtmlHelpEngine Bound;
    int Starts = 0;
};

TLoader &Loader()
{
    static TLoader loader;
    return loader;
}

} // namespace

TFileVersion TFileVersion::Of(quint16 major, quint16 minor, quint16 release, quint16 build)
{
    TFileVersion v;
    v.Major = major;
    v.Minor = minor;
    v.Release = release;
    v.Build = build;
    v.Text = QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
    return v;
}

TFileVersion TFileVersion::FromText(const QString &text)
{
    const QStringList parts = text.trimmed().split(u'.');
    if (parts.isEmpty() || parts.size() > 4)
        return {};
    quint16 n[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint value = parts.at(i).toUInt(&ok);
        if (!ok || value > 0xFFFF)
            return {};
        n[i] = quint16(value);
    }
    return Of(n[0], n[1], n[2], n[3]);
}

int CompareVersions(const TFileVersion &a, const TFileVersion &b)
{
    const quint16 x[] = {a.Major, a.Minor, a.Release, a.Build};
    const quint16 y[] = {b.Major, b.Minor, b.Release, b.Build};
    for (int i = 0; i < 4; ++i)
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    return 0;
}

QString HHFriendlyVersion(const TFileVersion &version)
{
    return FriendlyName(version, HHNames, {{TFileVersion::Of(5, 2, 3669, 0), QStringLiteral("> 1.4a")}},
                        QStringLiteral("< 1.0"));
}

QString IEFriendlyVersion(const TFileVersion &version)
{
    return FriendlyName(version, IENames,
                        {{TFileVersion::Of(8, 0, 0, 0), QStringLiteral("> Internet Explorer 8")},
                         {TFileVersion::Of(7, 0, 0, 0), QStringLiteral("> Internet Explorer 7")}},
                        QStringLiteral("< Internet Explorer 1.0 (Plus!)"));
}

THelpAddress SplitHelpAddress(const QString &address)
{
    QString rest = address.trimmed();
    for (const QLatin1String prefix : {QLatin1String("mk:@MSITStore:"), QLatin1String("ms-its:")})
        if (rest.startsWith(prefix, Qt::CaseInsensitive))
            rest = rest.mid(prefix.size());
    THelpAddress parts;
    const qsizetype window = rest.lastIndexOf(u'>');
    if (window >= 0) {
        parts.Window = rest.mid(window + 1);
        rest.truncate(window);
    }
    const qsizetype topic = rest.indexOf(QLatin1String("::"));
    if (topic >= 0) {
        parts.Topic = rest.mid(topic + 2);
        rest.truncate(topic);
    }
    parts.File = rest;
    return parts;
}

void HH::RegisterEngine(THtmlHelpEngine engine)
{
    QMutexLocker lock(&Loader().Lock);
    Loader().Registered = std::move(engine);
}

bool HH::Load()
{
    QMutexLocker lock(&Loader().Lock);
    TLoader &l = Loader();
    if (l.Starts++ == 0 && l.Registered.HtmlHelp)
        l.Bound = l.Registered;
    return bool(l.Bound.HtmlHelp);
}

void HH::Unload()
{
    QMutexLocker lock(&Loader().Lock);
    TLoader &l = Loader();
    if (l.Starts > 0 && --l.Starts == 0)
        l.Bound = {};
}

bool HH::Loaded()
{
    QMutexLocker lock(&Loader().Lock);
    return bool(Loader().Bound.HtmlHelp);
}

QObject *HH::HtmlHelp(const QString &address, quint32 command, quintptr data)
{
    THtmlHelpEngine engine;
    {
        QMutexLocker lock(&Loader().Lock);
        engine = Loader().Bound;
    }
    return engine.HtmlHelp ? engine.HtmlHelp(address, command, data) : nullptr;
}

void HH::BringToForeground(QObject *window)
{
    THtmlHelpEngine engine;
    {
        QMutexLocker lock(&Loader().Lock);
        engine = Loader().Bound;
    }
    if (window && engine.BringToForeground)
        engine.BringToForeground(window);
}

void HH::CloseAllHelpWindows()
{
    if (!Loaded())
        return;
    HtmlHelp(QString(), HH_CLOSE_ALL, 0);
    QThread::yieldCurrentThread();
}

TFileVersion HH::EngineVersion()
{
    return Loaded() ? TFileVersion::FromText(ProgramInfo::Version()) : TFileVersion();
}

TFileVersion HH::BrowserVersion()
{
    return TFileVersion::FromText(QString::fromLatin1(qVersion()));
}
