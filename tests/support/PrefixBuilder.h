// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: builds a small Wine prefix in a temporary folder for tests, and makes it the current one.
//
// Usage:
//   TPrefixBuilder b;                                   // empty prefix: dosdevices c: -> ../drive_c, z: -> /
//   b.AddString(THive::System, "Software\\Foo", "Path", "C:\\x\\y.dll");   // one backslash in the C++ text
//   b.AddKey(THive::User, "Software\\Bar", "\"raw\"=dword:00000001\n");  // value lines in hive form
//   b.AddFile("C:\\x\\y.dll", "data");                  // files and folders by their Windows path
//   auto prefix = b.MakeCurrent();                      // writes the hives, TWinePrefix::Current()
//
// The hive files are written by Write() or MakeCurrent() with Wine's header; keys come out in the
// order they were added (one block per AddKey/AddString call on a new key; values added to a key
// already written go into its block). The destructor restores the previous current prefix.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class TWinePrefix;

namespace TestSupport {

enum class THive { System, User, UserDefault };

class TPrefixBuilder
{
public:
    // withDrives: make dosdevices with c: -> ../drive_c and z: -> /, and drive_c/windows/system32.
    explicit TPrefixBuilder(bool withDrives = true);
    ~TPrefixBuilder();
    TPrefixBuilder(const TPrefixBuilder &) = delete;
    TPrefixBuilder &operator=(const TPrefixBuilder &) = delete;

    QString Folder() const;  // the prefix folder (host path)
    QString DriveC() const;  // <prefix>/drive_c
    QString HivePath(THive hive) const;
    QString UserName() const;  // the profile name the prefix uses (TWinePrefix::UserName())

    // A key with raw value lines in hive form ("\"name\"=\"text\"\n", "@=dword:00000001\n" ...);
    // path as Windows writes it, one backslash between names. Several calls for one key append.
    void AddKey(THive hive, const QString &path, const QByteArray &valueLines = QByteArray());
    // Typed values, escaped as Wine escapes them.
    void AddString(THive hive, const QString &path, const QString &name, const QString &value);
    void AddExpandString(THive hive, const QString &path, const QString &name, const QString &value);
    void AddDword(THive hive, const QString &path, const QString &name, quint32 value);
    void AddBinary(THive hive, const QString &path, const QString &name, const QByteArray &value);
    // A link key (Wine's "#link") whose target is a path such as "\Registry\Machine\System\ControlSet001".
    void AddLink(THive hive, const QString &path, const QString &target);
    // The whole text of a hive file, header included; replaces what AddKey gathered for that hive.
    void SetHiveText(THive hive, const QByteArray &text);

    // dosdevices/<letter>: -> target (need not exist: a dangling link). letter is a lower-case letter.
    void Link(QChar letter, const QString &target);
    void Unlink(QChar letter);
    // A host file under drive_c for a "C:\..." path (folders made as needed), else the host path itself.
    QString AddFile(const QString &path, const QByteArray &content = QByteArray());
    QString AddFolder(const QString &path);
    // The host path of a "C:\..." path (no lookup ignoring case: the builder makes the spelling).
    QString HostPath(const QString &windowsPath) const;

    // The typical profile: User Shell Folders (%USERPROFILE%\...), Shell Folders and the
    // Environment keys as wineboot makes them, and the folders they name.
    void AddProfile();

    void Write();  // writes all three hive files (one never added to holds only the header)
    std::shared_ptr<TWinePrefix> MakeCurrent();  // Write(), then a new TWinePrefix as Current()
    std::shared_ptr<TWinePrefix> Prefix() const;  // the one MakeCurrent() made, or null

private:
    struct THiveText {
        bool Used = false;
        bool Raw = false;
        QByteArray RawText;
        QList<QPair<QString, QByteArray>> Keys;  // path, value lines
    };
    THiveText &Text(THive hive);

    QTemporaryDir FDir;
    THiveText FHives[3];
    std::shared_ptr<TWinePrefix> FPrefix;
    std::shared_ptr<TWinePrefix> FPrevious;
    bool FInstalled = false;
};

// The hive's text form of a string ("C:\\x" for C:\x), as Wine escapes it inside quotes.
QByteArray HiveEscape(const QString &text);

}  // namespace TestSupport
