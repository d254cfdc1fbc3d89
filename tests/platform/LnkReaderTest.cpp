// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: shell-link reading: Microsoft's sample link, ID-list-only and network links, hostile bytes.
#include "platform/LnkReader.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Put16(QByteArray &b, quint32 v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void Put32(QByteArray &b, quint32 v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }
QByteArray Utf16Z(const QString &s)
{
    QByteArray b;
    for (QChar c : s) Put16(b, c.unicode());
    Put16(b, 0);
    return b;
}

// The header of the sample in [MS-SHLLINK] 3.1 (a link to C:\test\a.txt), byte for byte.
QByteArray SampleHeader()
{
    return QByteArray::fromHex("4C0000000114020000000000C000000000000046"
                               "9B000800" "20000000"
                               "D0E9EEF21515C901" "D0E9EEF21515C901" "D0E9EEF21515C901"
                               "00000000" "00000000" "01000000" "0000" "0000" "00000000" "00000000");
}

QByteArray RootItem()  // My Computer
{
    return QByteArray::fromHex("14001F50E04FD020EA3A6910A2D808002B30309D");
}
QByteArray DriveItem(const char *drive)
{
    QByteArray item = QByteArray::fromHex("19002F") + QByteArray(drive);
    item.resize(0x19, '\0');
    return item;
}
// A folder (0x31) or file (0x32) item with the short name and a version-7 0xBEEF0004 long-name block.
QByteArray FileItem(quint8 type, const QByteArray &shortName, const QString &longName)
{
    QByteArray body;
    body.append(char(type)).append('\0');
    Put32(body, 0);           // size
    Put32(body, 0xA369392C);  // date and time
    Put16(body, type == 0x31 ? 0x10 : 0x20);
    body += shortName + '\0';
    if ((body.size() + 2) & 1) body.append('\0');
    QByteArray ext;
    Put16(ext, 0);  // size, patched below
    Put16(ext, 7);
    Put32(ext, 0xBEEF0004);
    Put32(ext, 0xA365392C);
    Put32(ext, 0xA369392C);
    Put16(ext, 0x26);
    Put16(ext, 0);
    ext += QByteArray(16, '\x01');
    Put16(ext, 0);
    ext += Utf16Z(longName);
    Put16(ext, 0x14);
    ext[0] = char(ext.size() & 0xFF);
    ext[1] = char(ext.size() >> 8);
    body += ext;
    QByteArray item;
    Put16(item, body.size() + 2);
    return item + body;
}
QByteArray IdList(const QList<QByteArray> &items)
{
    QByteArray list;
    for (const QByteArray &i : items) list += i;
    Put16(list, 0);
    QByteArray out;
    Put16(out, list.size());
    return out + list;
}
// The VolumeID of a fixed drive with an empty label.
QByteArray FixedVolume()
{
    QByteArray volume;
    Put32(volume, 0x11);
    Put32(volume, 3);           // fixed drive
    Put32(volume, 0x307A8A81);  // serial number
    Put32(volume, 0x10);
    volume.append('\0');
    return volume;
}
QByteArray LocalLinkInfo(const QByteArray &basePath, const QByteArray &suffix)
{
    const QByteArray volume = FixedVolume();
    const quint32 volumeAt = 0x1C, baseAt = volumeAt + volume.size(), suffixAt = baseAt + basePath.size() + 1;
    QByteArray info;
    Put32(info, suffixAt + suffix.size() + 1);
    Put32(info, 0x1C);
    Put32(info, 1);
    Put32(info, volumeAt);
    Put32(info, baseAt);
    Put32(info, 0);
    Put32(info, suffixAt);
    return info + volume + basePath + '\0' + suffix + '\0';
}
// Link information with the 8-bit local base path and suffix and, after them, their UTF-16 forms
// (a header of 0x24 bytes).
QByteArray UnicodeLinkInfo(const QByteArray &basePath, const QString &unicodeBase, const QString &unicodeSuffix)
{
    const QByteArray volume = FixedVolume();
    const quint32 volumeAt = 0x24, baseAt = volumeAt + volume.size(), suffixAt = baseAt + basePath.size() + 1,
                  unicodeBaseAt = suffixAt + 1, unicodeSuffixAt = unicodeBaseAt + 2 * (unicodeBase.size() + 1);
    QByteArray info;
    Put32(info, unicodeSuffixAt + 2 * (unicodeSuffix.size() + 1));
    Put32(info, 0x24);
    Put32(info, 1);
    Put32(info, volumeAt);
    Put32(info, baseAt);
    Put32(info, 0);
    Put32(info, suffixAt);
    Put32(info, unicodeBaseAt);
    Put32(info, unicodeSuffixAt);
    return info + volume + basePath + '\0' + '\0' + Utf16Z(unicodeBase) + Utf16Z(unicodeSuffix);
}
QByteArray NetLinkInfo(const QByteArray &netName, const QByteArray &suffix)
{
    QByteArray net;
    Put32(net, 0x14 + netName.size() + 1);
    Put32(net, 0);
    Put32(net, 0x14);
    Put32(net, 0);
    Put32(net, 0x00020000);
    net += netName + '\0';
    const quint32 netAt = 0x1C, suffixAt = netAt + net.size();
    QByteArray info;
    Put32(info, suffixAt + suffix.size() + 1);
    Put32(info, 0x1C);
    Put32(info, 2);
    Put32(info, 0);
    Put32(info, 0);
    Put32(info, netAt);
    Put32(info, suffixAt);
    return info + net + suffix + '\0';
}
QByteArray Str(const QString &s)
{
    QByteArray b;
    Put16(b, s.size());
    for (QChar c : s) Put16(b, c.unicode());
    return b;
}
QByteArray AnsiStr(const QByteArray &a)
{
    QByteArray b;
    Put16(b, a.size());
    return b + a;
}
QByteArray WithFlags(QByteArray header, quint32 flags)
{
    header[20] = char(flags & 0xFF);
    header[21] = char((flags >> 8) & 0xFF);
    header[22] = char((flags >> 16) & 0xFF);
    header[23] = char(flags >> 24);
    return header;
}

// The sample: ID list, link info, relative path ".\a.txt", working folder "C:\test", a tracker block.
QByteArray SampleLink()
{
    QByteArray tracker;
    Put32(tracker, 0x60);
    Put32(tracker, 0xA0000003);
    tracker += QByteArray(0x58, '\0');
    QByteArray link = SampleHeader();
    link += IdList({RootItem(), DriveItem("C:\\"), FileItem(0x31, "test", "test"), FileItem(0x32, "a.txt", "a.txt")});
    link += LocalLinkInfo("C:\\test\\a.txt", "");
    link += Str(".\\a.txt") + Str("C:\\test");
    link += tracker;
    Put32(link, 0);
    return link;
}

QString WriteTemp(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return {};
    return path;
}

} // namespace

TEST(LnkReader, ReadsTheSampleLink)
{
    TShellLink link;
    ASSERT_TRUE(LnkReader::Parse(SampleLink(), &link));
    EXPECT_EQ(link.LinkFlags, 0x0008009Bu);
    EXPECT_EQ(link.FileAttributes, 0x20u);
    EXPECT_EQ(link.LocalBasePath, "C:\\test\\a.txt");
    EXPECT_EQ(link.IdListPath, "C:\\test\\a.txt");
    EXPECT_EQ(link.RelativePath, ".\\a.txt");
    EXPECT_EQ(link.WorkingDir, "C:\\test");
    EXPECT_EQ(link.TargetPath(), "C:\\test\\a.txt");
}

TEST(LnkReader, TargetsOfTheLinkKinds)
{
    const quint32 unicodeIdList = 0x1 | 0x80;
    const struct {
        const char *name;
        QByteArray bytes;
        bool ok;
        QString target;
    } cases[] = {
        {"ID list only, long names",
         WithFlags(SampleHeader(), unicodeIdList) +
             IdList({RootItem(), DriveItem("D:\\"), FileItem(0x31, "PROGRA~1", "Program Files"),
                     FileItem(0x32, "APP~1.EXE", "App Name.exe")}) + QByteArray(4, '\0'),
         true, "D:\\Program Files\\App Name.exe"},
        {"ID list of a virtual object", WithFlags(SampleHeader(), unicodeIdList) + IdList({RootItem()}), true, ""},
        {"network target",
         WithFlags(SampleHeader(), 0x2 | 0x80) + NetLinkInfo("\\\\server\\share", "dir\\f.txt"), true,
         "\\\\server\\share\\dir\\f.txt"},
        {"local base path and suffix", WithFlags(SampleHeader(), 0x2) + LocalLinkInfo("C:\\a\\", "b.txt"), true,
         "C:\\a\\b.txt"},
        {"no CLSID", QByteArray(SampleHeader()).replace(4, 1, "\x02"), false, ""},
        {"header size", QByteArray(SampleHeader()).replace(0, 1, "\x4D"), false, ""},
        {"flags promise an ID list that is not there", WithFlags(SampleHeader(), 0x1), false, ""},
        {"string count beyond the end", WithFlags(SampleHeader(), 0x4 | 0x80) + QByteArray::fromHex("FF7F4100"), false,
         ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TShellLink link;
        ASSERT_EQ(LnkReader::Parse(c.bytes, &link), c.ok);
        if (c.ok) {
            EXPECT_EQ(link.TargetPath(), c.target);
        }
    }
}

TEST(LnkReader, ShellLinkInfoFields)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // ANSI strings in code page 1252 (0x80 is the euro sign); quotes in the target path.
    QByteArray ansi = WithFlags(SampleHeader(), 0x2 | 0x4 | 0x10 | 0x20);
    ansi += LocalLinkInfo("C:\\\"q\"\\x.exe", "");
    ansi += AnsiStr("Price \x80") + AnsiStr("C:\\w") + AnsiStr("-a -b");
    ansi[56] = 3;  // icon index
    const QString path = WriteTemp(dir, "ansi.lnk", ansi);

    TShellLinkInfo info;
    ASSERT_TRUE(LnkReader::ReadShellLinkInfo(path, info));
    EXPECT_EQ(info.Target, "C:\\q\\x.exe");
    EXPECT_EQ(info.IconLocation, "C:\\\"q\"\\x.exe") << "no icon location: the target before the quotes went";
    EXPECT_EQ(info.Description, QString::fromUtf8("Price €"));
    EXPECT_EQ(info.WorkingDirectory, "C:\\w");
    EXPECT_EQ(info.Arguments, "-a -b");
    EXPECT_EQ(info.IconIndex, 3);

    // A link to a virtual object gives false and leaves the record alone.
    TShellLinkInfo untouched;
    untouched.Target = "kept";
    const QString virt = WriteTemp(dir, "virtual.lnk", WithFlags(SampleHeader(), 0x81) + IdList({RootItem()}));
    EXPECT_FALSE(LnkReader::ReadShellLinkInfo(virt, untouched));
    EXPECT_EQ(untouched.Target, "kept");
    EXPECT_FALSE(LnkReader::ReadShellLinkInfo(dir.filePath("missing.lnk"), untouched));

    // Texts are cut to a MAX_PATH buffer.
    QByteArray longArgs = WithFlags(SampleHeader(), 0x2 | 0x20 | 0x80) + LocalLinkInfo("C:\\x", "") + Str(QString(600, 'a'));
    TShellLinkInfo big;
    ASSERT_TRUE(LnkReader::ReadShellLinkInfo(WriteTemp(dir, "long.lnk", longArgs), big));
    EXPECT_EQ(big.Arguments.size(), 259);
}

TEST(LnkReader, WineLinksGiveTheirUnicodeTarget)
{
    // Written by Wine 8's own shell-link object (WScript.Shell's CreateShortcut run by cscript):
    // the link information holds the 8-bit path with "?" for the snowman, the ID list the names.
    const QString fixtures = QStringLiteral(VASKIMO_FIXTURES);
    const struct {
        const char *file;
        QString target, workingDir, arguments;
    } cases[] = {
        {"wine-snowman.lnk", QString::fromUtf8("C:\\Ünïcødé\\☃ gone.exe"), "", ""},
        {"wine-snowman-missing.lnk", QString::fromUtf8("C:\\Ünïcødé\\gone\\☃ never.exe"), QString::fromUtf8("C:\\Ünïcødé"),
         QString::fromUtf8("/☃")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        TShellLinkInfo info;
        ASSERT_TRUE(LnkReader::ReadShellLinkInfo(fixtures + u'/' + QLatin1String(c.file), info));
        EXPECT_EQ(info.Target, c.target);
        EXPECT_FALSE(info.TargetUncertain);
        EXPECT_EQ(info.WorkingDirectory, c.workingDir);
        EXPECT_EQ(info.Arguments, c.arguments);
    }
}

TEST(LnkReader, TheMostFaithfulFormOfTheTargetWins)
{
    const QString snowman = QString::fromUtf8("C:\\Ünïcødé\\☃ gone.exe");
    const QByteArray lossy = "C:\\\xDC" "n\xEF" "c\xF8" "d\xE9\\? gone.exe";  // what code page 1252 made of it
    const QList<QByteArray> items = {RootItem(), DriveItem("C:\\"), FileItem(0x31, "NICOD~1", QString::fromUtf8("Ünïcødé")),
                                     FileItem(0x32, "GONE~1.EXE", QString::fromUtf8("☃ gone.exe"))};
    const struct {
        const char *name;
        QByteArray bytes;
        QString target;
        bool uncertain;
    } cases[] = {
        {"8-bit link information and Unicode ID list", WithFlags(SampleHeader(), 0x1 | 0x2) + IdList(items) + LocalLinkInfo(lossy, ""),
         snowman, false},
        {"8-bit and Unicode link information", WithFlags(SampleHeader(), 0x2) + UnicodeLinkInfo(lossy, QString::fromUtf8("C:\\Ünïcødé\\"), QString::fromUtf8("☃ gone.exe")),
         snowman, false},
        {"only the 8-bit form, with a lost character", WithFlags(SampleHeader(), 0x2) + LocalLinkInfo(lossy, ""),
         QString::fromUtf8("C:\\Ünïcødé\\? gone.exe"), true},
        {"ASCII link information over short names", WithFlags(SampleHeader(), 0x1 | 0x2) +
             IdList({RootItem(), DriveItem("C:\\"), FileItem(0x31, "PROGRA~1", "PROGRA~1"), FileItem(0x32, "APP.EXE", "APP.EXE")}) +
             LocalLinkInfo("C:\\Program Files\\app.exe", ""),
         "C:\\Program Files\\app.exe", false},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TShellLinkInfo info;
        ASSERT_TRUE(LnkReader::ReadShellLinkInfo(WriteTemp(dir, "t.lnk", c.bytes), info));
        EXPECT_EQ(info.Target, c.target);
        EXPECT_EQ(info.TargetUncertain, c.uncertain);
    }
}

TEST(LnkReader, QuotesAndBlanksAloneAreNoTarget)
{
    QTemporaryDir dir;
    for (const QByteArray &target : {QByteArray("\"\""), QByteArray("\""), QByteArray("\" \" ")}) {
        SCOPED_TRACE(target.constData());
        TShellLinkInfo info;
        info.Target = "kept";
        EXPECT_FALSE(LnkReader::ReadShellLinkInfo(WriteTemp(dir, "q.lnk", WithFlags(SampleHeader(), 0x2) + LocalLinkInfo(target, "")), info));
        EXPECT_EQ(info.Target, "kept");
    }
}

TEST(LnkReader, ReadsOnlyRegularFilesOfAShortcutsSize)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.lnk");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString toZero = dir.filePath("zero.lnk");
    ASSERT_TRUE(QFile::link("/dev/zero", toZero));
    // A real link's bytes at the start, then zeros up to one byte past the limit.
    const QString huge = WriteTemp(dir, "huge.lnk", SampleLink());
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), LnkReader::MaxFileSize + 1), 0);
    const QString largest = WriteTemp(dir, "largest.lnk", SampleLink());
    ASSERT_EQ(::truncate(QFile::encodeName(largest).constData(), LnkReader::MaxFileSize), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.lnk"));
    const struct {
        const char *name;
        QString path;
        bool ok;
    } cases[] = {
        {"a FIFO", fifo, false},
        {"/dev/zero", "/dev/zero", false},
        {"a link to /dev/zero", toZero, false},
        {"a file past the limit", huge, false},
        {"a folder", dir.filePath("folder.lnk"), false},
        {"a file at the limit", largest, true},
        {"a plain link file", WriteTemp(dir, "plain.lnk", SampleLink()), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto read = std::async(std::launch::async, [path = c.path] {
            TShellLink link;
            return LnkReader::ReadFile(path, &link);
        });
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Give the blocked reader a writer, so the test can end.
            const int fd = ::open(QFile::encodeName(c.path).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            ADD_FAILURE() << "the read did not return";
            read.wait();
            continue;
        }
        EXPECT_EQ(read.get(), c.ok);
    }
}

TEST(LnkReader, SurvivesTruncationAndGarbage)
{
    const QByteArray sample = SampleLink();
    // Cut anywhere before the string data ends, the link is incomplete.
    const qsizetype stringsEnd = sample.size() - 0x60 - 4;
    for (qsizetype n = 0; n < sample.size(); ++n) {
        TShellLink link;
        const bool ok = LnkReader::Parse(sample.left(n), &link);
        if (n < stringsEnd) {
            EXPECT_FALSE(ok) << "cut at " << n;
        }
    }
    QRandomGenerator rng(4711);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = sample;
        const int flips = 1 + rng.bounded(8);
        for (int i = 0; i < flips; ++i) bytes[rng.bounded(int(bytes.size()))] = char(rng.bounded(256));
        if (round % 3 == 0) bytes.truncate(rng.bounded(int(bytes.size())));
        TShellLink link;
        LnkReader::Parse(bytes, &link);
        (void)link.TargetPath();
    }
    for (int round = 0; round < 500; ++round) {
        QByteArray bytes = SampleHeader();
        bytes[20] = char(0xFF);  // every structure claimed
        for (int i = 0; i < 300; ++i) bytes.append(char(rng.bounded(256)));
        TShellLink link;
        LnkReader::Parse(bytes, &link);
    }
    SUCCEED();
}
