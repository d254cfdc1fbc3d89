// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's services over real folders: unique names, emptiness, listings, long names, roots.
#include "shell/Services.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void Touch(const QString &path, const QByteArray &bytes = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

TEST(Services, RootKeyFromName)
{
    const struct { const char *name; TRootKey root; } cases[] = {
        {"HKEY_CURRENT_USER", TRootKey::CurrentUser}, {"hkey_users", TRootKey::Users},
        {"Hkey_Classes_Root", TRootKey::ClassesRoot}, {"HKEY_LOCAL_MACHINE", TRootKey::LocalMachine},
        {"HKLM", TRootKey::LocalMachine},             {"", TRootKey::LocalMachine},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Services::RootKeyFromName(c.name), c.root);
    }
}

TEST(Services, UniqueFileName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();  // no trailing separator: one is added
    Touch(folder + "/a.reg");
    Touch(folder + "/a(1).reg");
    EXPECT_EQ(Services::UniqueFileName(folder, "a.reg"), folder + "/a(2).reg");
    EXPECT_EQ(Services::UniqueFileName(folder + "/", "x:y?.reg"), folder + "/x y .reg");
    EXPECT_EQ(Services::UniqueFileName(folder, "b.reg"), folder + "/b.reg");
    // A folder of that name is no file; a symlink (even to a folder) is taken and never written through.
    QDir(folder).mkdir("d.reg");
    EXPECT_EQ(Services::UniqueFileName(folder, "d.reg"), folder + "/d.reg");
    ASSERT_TRUE(QFile::link(folder + "/d.reg", folder + "/l.reg"));
    EXPECT_EQ(Services::UniqueFileName(folder, "l.reg"), folder + "/l(1).reg");
    // All 99 numbers taken: the search goes on with name(1)(n).
    Touch(folder + "/full");
    for (int n = 1; n <= 99; ++n) Touch(folder + QStringLiteral("/full(%1)").arg(n));
    EXPECT_EQ(Services::UniqueFileName(folder, "full"), folder + "/full(1)(1)");
    // A Windows folder through the drive mapping.
    Services::SetPathMapper([&](const QString &p) { return QString(p).replace("C:\\Undo", folder).replace('\\', '/'); });
    EXPECT_EQ(Services::UniqueFileName("C:\\Undo", "a.reg"), "C:\\Undo\\a(2).reg");
    Services::SetPathMapper({});
}

TEST(Services, IsFolderEmpty)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path() + "/";
    QDir(base).mkdir("empty");
    QDir(base).mkdir("hidden");
    Touch(base + "hidden/.secret");
    QDir(base).mkdir("link");
    ASSERT_TRUE(QFile::link(base + "empty", base + "link/to-empty"));
    Touch(base + "file");
    const struct { const char *name; QString folder; bool empty; } cases[] = {
        {"only . and ..", base + "empty/", true},
        {"one hidden file", base + "hidden/", false},
        {"one dangling or folder link", base + "link/", false},
        {"cannot be listed (a file)", base + "file/", false},
        {"missing", base + "missing/", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Services::IsFolderEmpty(c.folder), c.empty);
    }
}

TEST(Services, ListFilesAndTree)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path() + "/";
    Touch(base + "lang/English.txt");
    Touch(base + "lang/Suomi.txt");
    Touch(base + "lang/desktop.ini");
    QDir(base).mkpath("lang/sub.txt");
    EXPECT_EQ(Services::ListFiles(base + "lang/", "*.txt", true, false), "\"English\",\"Suomi\"");
    EXPECT_EQ(Services::ListFiles(base + "lang/", "*.*", false, true),
              "\"" + base + "lang/English.txt\",\"" + base + "lang/Suomi.txt\"");
    EXPECT_EQ(Services::ListFiles(base + "none/", "*.*", false, false), "");

    Touch(base + "tree/top.txt");
    Touch(base + "tree/S/f");
    QDir(base).mkpath("tree/S/T");
    QDir(base).mkpath("outside/deep");
    Touch(base + "outside/deep/secret");
    ASSERT_TRUE(QFile::link(base + "outside", base + "tree/S/linked"));
    const QString t = base + "tree/";
    EXPECT_EQ(Services::ListFolderTree(t, false),
              "\"" + t + "S/\",\"" + t + "S/f\",\"" + t + "S/T/\",,")
        << "the folder's own files are not listed, links are not followed, empty parts stay";

    Touch(base + "tree2/Skip/desktop.ini");
    Touch(base + "tree2/Skip/x");
    QDir(base).mkpath("tree2/Keep");
    EXPECT_EQ(Services::ListFolderTree(base + "tree2/", true), "\"" + base + "tree2/Keep/\",,");
}

TEST(Services, LongPathName)
{
    const QHash<QString, QString> names = {
        {"C:\\PROGRA~1\\x", "x"}, {"C:\\PROGRA~1", "Program Files"},
        {"C:\\WINDOWS\\SYSTEM32", "system32"},
    };
    const auto find = [&](const QString &p) { return names.value(p); };
    const struct { const char *name; const char *path; const char *expected; } cases[] = {
        {"short components", "C:\\PROGRA~1\\x\\", "C:\\Program Files\\x"},
        {"ten-character prefix kept as given", "C:\\WINDOWS\\SYSTEM32", "C:\\WINDOWS\\system32"},
        {"missing component", "C:\\PROGRA~1\\y", ""},
        {"drive root", "C:\\", "C:\\"},
        {"empty", "", ""},
        {"relative", "x\\y", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Services::LongPathName(c.path, find), QString(c.expected));
    }
}
