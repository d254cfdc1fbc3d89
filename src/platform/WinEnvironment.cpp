// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's Windows environment variables and folders.
#include "WinEnvironment.h"

#include "Registry.h"
#include "WinePrefix.h"

namespace {

const QString ShellFoldersKey = QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
const QString UserShellFoldersKey =
    QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");

// Where Windows puts a shell folder that the registry does not name (the profile layout Wine makes).
QString DefaultShellFolder(const QString &name)
{
    static const QHash<QString, QString> below = {
        {QStringLiteral("APPDATA"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming")},
        {QStringLiteral("LOCAL APPDATA"), QStringLiteral("%USERPROFILE%\\AppData\\Local")},
        {QStringLiteral("CACHE"), QStringLiteral("%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCache")},
        {QStringLiteral("COOKIES"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Cookies")},
        {QStringLiteral("HISTORY"), QStringLiteral("%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\History")},
        {QStringLiteral("RECENT"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Recent")},
        {QStringLiteral("PERSONAL"), QStringLiteral("%USERPROFILE%\\Documents")},
        {QStringLiteral("DESKTOP"), QStringLiteral("%USERPROFILE%\\Desktop")},
        {QStringLiteral("FAVORITES"), QStringLiteral("%USERPROFILE%\\Favorites")},
        {QStringLiteral("START MENU"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu")},
        {QStringLiteral("PROGRAMS"),
         QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs")},
        {QStringLiteral("STARTUP"),
         QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup")},
        {QStringLiteral("TEMPLATES"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Templates")},
        {QStringLiteral("SENDTO"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\SendTo")},
        {QStringLiteral("NETHOOD"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Network Shortcuts")},
        {QStringLiteral("PRINTHOOD"), QStringLiteral("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Printer Shortcuts")},
        {QStringLiteral("MY MUSIC"), QStringLiteral("%USERPROFILE%\\Music")},
        {QStringLiteral("MY PICTURES"), QStringLiteral("%USERPROFILE%\\Pictures")},
        {QStringLiteral("MY VIDEO"), QStringLiteral("%USERPROFILE%\\Videos")},
        {QStringLiteral("COMMON APPDATA"), QStringLiteral("%ProgramData%")},
        {QStringLiteral("COMMON DESKTOP"), QStringLiteral("%PUBLIC%\\Desktop")},
        {QStringLiteral("COMMON DOCUMENTS"), QStringLiteral("%PUBLIC%\\Documents")},
        {QStringLiteral("COMMON START MENU"), QStringLiteral("%ProgramData%\\Microsoft\\Windows\\Start Menu")},
        {QStringLiteral("COMMON PROGRAMS"), QStringLiteral("%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs")},
        {QStringLiteral("COMMON STARTUP"),
         QStringLiteral("%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup")},
        {QStringLiteral("COMMON TEMPLATES"), QStringLiteral("%ProgramData%\\Microsoft\\Windows\\Templates")},
        {QStringLiteral("COMMON FAVORITES"), QStringLiteral("%USERPROFILE%\\Favorites")},
    };
    return below.value(name.toUpper());
}

QString StripSlash(QString path)
{
    while (path.size() > 3 && path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path;
}

// A string value, or empty when it is missing or of another kind.
QString ReadText(TRegistry &reg, const QString &name, bool *expandable = nullptr)
{
    const TRegDataType type = reg.GetDataType(name);
    if (type != TRegDataType::String && type != TRegDataType::ExpandString)
        return QString();
    if (expandable)
        *expandable = type == TRegDataType::ExpandString;
    try {
        return reg.ReadString(name);
    } catch (const ERegistryException &) {
        return QString();
    }
}

}  // namespace

TWinEnvironment::TWinEnvironment(std::shared_ptr<TWinePrefix> prefix)
    : FPrefix(prefix ? std::move(prefix) : TWinePrefix::Current())
{
    const QString user = FPrefix->UserName();
    Set(QStringLiteral("SystemDrive"), QStringLiteral("C:"));
    Set(QStringLiteral("SystemRoot"), QStringLiteral("C:\\windows"));
    Set(QStringLiteral("windir"), QStringLiteral("C:\\windows"));
    Set(QStringLiteral("USERNAME"), user);

    TRegistry lm(TRootKey::LocalMachine, FPrefix);
    QString profiles, programData, publicFolder;
    if (lm.OpenKeyReadOnly(QStringLiteral("\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList"))) {
        profiles = Expand(ReadText(lm, QStringLiteral("ProfilesDirectory")));
        programData = Expand(ReadText(lm, QStringLiteral("ProgramData")));
        publicFolder = Expand(ReadText(lm, QStringLiteral("Public")));
    }
    if (profiles.isEmpty())
        profiles = QStringLiteral("C:\\users");
    const QString profile = StripSlash(profiles) + QLatin1Char('\\') + user;
    Set(QStringLiteral("USERPROFILE"), profile);
    Set(QStringLiteral("HOMEDRIVE"), profile.left(2));
    Set(QStringLiteral("HOMEPATH"), profile.mid(2));
    Set(QStringLiteral("ALLUSERSPROFILE"), programData.isEmpty() ? QStringLiteral("C:\\ProgramData") : programData);
    Set(QStringLiteral("ProgramData"), Value(QStringLiteral("ALLUSERSPROFILE")));
    Set(QStringLiteral("PUBLIC"), publicFolder.isEmpty() ? StripSlash(profiles) + QStringLiteral("\\Public") : publicFolder);

    QString programFiles, commonFiles, programFiles86, commonFiles86;
    if (lm.OpenKeyReadOnly(QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion"))) {
        programFiles = ReadText(lm, QStringLiteral("ProgramFilesDir"));
        commonFiles = ReadText(lm, QStringLiteral("CommonFilesDir"));
        programFiles86 = ReadText(lm, QStringLiteral("ProgramFilesDir (x86)"));
        commonFiles86 = ReadText(lm, QStringLiteral("CommonFilesDir (x86)"));
    }
    if (programFiles.isEmpty())
        programFiles = QStringLiteral("C:\\Program Files");
    Set(QStringLiteral("ProgramFiles"), programFiles);
    Set(QStringLiteral("CommonProgramFiles"), commonFiles.isEmpty() ? programFiles + QStringLiteral("\\Common Files") : commonFiles);
    if (!programFiles86.isEmpty()) {
        Set(QStringLiteral("ProgramFiles(x86)"), programFiles86);
        Set(QStringLiteral("CommonProgramFiles(x86)"),
            commonFiles86.isEmpty() ? programFiles86 + QStringLiteral("\\Common Files") : commonFiles86);
    }
    Set(QStringLiteral("APPDATA"), SpecialFolder(QStringLiteral("AppData")));
    Set(QStringLiteral("LOCALAPPDATA"), SpecialFolder(QStringLiteral("Local AppData")));

    // Plain strings first, then the expandable ones, so that these may name those.
    for (auto [root, path] : {std::pair{TRootKey::LocalMachine,
                                        QStringLiteral("\\System\\CurrentControlSet\\Control\\Session Manager\\Environment")},
                              std::pair{TRootKey::CurrentUser, QStringLiteral("\\Environment")}}) {
        TRegistry reg(root, FPrefix);
        if (!reg.OpenKeyReadOnly(path))
            continue;
        QList<QPair<QString, QString>> expandable;
        for (const QString &name : reg.GetValueNames()) {
            bool expand = false;
            const QString value = ReadText(reg, name, &expand);
            if (name.isEmpty() || reg.GetDataType(name) == TRegDataType::None)
                continue;
            if (expand)
                expandable.append({name, value});
            else if (reg.GetDataType(name) == TRegDataType::String)
                Set(name, value);
        }
        for (const auto &[name, value] : expandable)
            Set(name, Expand(value));
    }
    for (const char *name : {"TEMP", "TMP"})
        if (Value(QLatin1String(name)).isEmpty())
            Set(QLatin1String(name), Value(QStringLiteral("LOCALAPPDATA")) + QStringLiteral("\\Temp"));
}

void TWinEnvironment::Set(const QString &name, const QString &value)
{
    FVars.insert(name.toUpper(), {name, value});
}

bool TWinEnvironment::Contains(const QString &name) const
{
    return FVars.contains(name.toUpper());
}

QString TWinEnvironment::Value(const QString &name) const
{
    return FVars.value(name.toUpper()).second;
}

QString TWinEnvironment::Expand(const QString &text) const
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), i);
        if (open < 0) {
            out += QStringView(text).mid(i);
            break;
        }
        out += QStringView(text).mid(i, open - i);
        const qsizetype close = text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) {
            out += QStringView(text).mid(open);
            break;
        }
        const QString name = text.mid(open + 1, close - open - 1);
        const auto it = FVars.constFind(name.toUpper());
        if (!name.isEmpty() && it != FVars.constEnd()) {
            out += it->second;
            i = close + 1;
        } else {
            // Unknown: keep "%NAME" and look again from the closing "%", as Windows does.
            out += QStringView(text).mid(open, close - open);
            i = close;
        }
    }
    return out;
}

QString TWinEnvironment::WindowsFolder() const
{
    return QStringLiteral("C:\\windows");
}

QString TWinEnvironment::SystemFolder() const
{
    return QStringLiteral("C:\\windows\\system32");
}

QString TWinEnvironment::TempFolder() const
{
    QString temp = Value(QStringLiteral("TEMP"));
    if (temp.isEmpty())
        temp = Value(QStringLiteral("TMP"));
    if (!temp.endsWith(QLatin1Char('\\')))
        temp += QLatin1Char('\\');
    return temp;
}

QString TWinEnvironment::ShellFolderValue(bool machine, const QString &name) const
{
    TRegistry reg(machine ? TRootKey::LocalMachine : TRootKey::CurrentUser, FPrefix);
    QString value;
    if (reg.OpenKeyReadOnly(UserShellFoldersKey))
        value = Expand(ReadText(reg, name));
    if (value.isEmpty() && reg.OpenKeyReadOnly(ShellFoldersKey))
        value = ReadText(reg, name);
    return value;
}

QString TWinEnvironment::SpecialFolder(const QString &name) const
{
    const bool common = name.startsWith(QLatin1String("Common "), Qt::CaseInsensitive);
    QString value = ShellFolderValue(common, name);
    if (value.isEmpty())
        value = Expand(DefaultShellFolder(name));
    return StripSlash(value);
}

namespace WinEnvironment {
QString Expand(const QString &text, const std::shared_ptr<TWinePrefix> &prefix)
{
    return TWinEnvironment(prefix).Expand(text);
}
QString WindowsFolder(const std::shared_ptr<TWinePrefix> &prefix)
{
    return TWinEnvironment(prefix).WindowsFolder();
}
QString SystemFolder(const std::shared_ptr<TWinePrefix> &prefix)
{
    return TWinEnvironment(prefix).SystemFolder();
}
QString TempFolder(const std::shared_ptr<TWinePrefix> &prefix)
{
    return TWinEnvironment(prefix).TempFolder();
}
QString SpecialFolder(const QString &name, const std::shared_ptr<TWinePrefix> &prefix)
{
    return TWinEnvironment(prefix).SpecialFolder(name);
}
}  // namespace WinEnvironment
