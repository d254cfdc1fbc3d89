// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: PE version resources: images made here with and without a version record, cut and scrambled.
#include "platform/PeReader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Put16(QByteArray &b, quint32 v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void Put32(QByteArray &b, quint32 v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }
void Set32(QByteArray &b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
}
void Pad4(QByteArray &b)
{
    while (b.size() % 4) b.append('\0');
}

// One VS_VERSIONINFO block: wLength, wValueLength, wType, key, padding, value, padding, children.
QByteArray Block(const QString &key, const QByteArray &value, quint32 valueLength, bool text,
                 const QList<QByteArray> &children = {})
{
    QByteArray b;
    Put16(b, 0);
    Put16(b, valueLength);
    Put16(b, text ? 1 : 0);
    for (QChar c : key) Put16(b, c.unicode());
    Put16(b, 0);
    Pad4(b);
    b += value;
    for (const QByteArray &child : children) {
        Pad4(b);
        b += child;
    }
    b[0] = char(b.size() & 0xFF);
    b[1] = char(b.size() >> 8);
    return b;
}
QByteArray StringBlock(const QString &name, const QString &value)
{
    QByteArray v;
    for (QChar c : value) Put16(v, c.unicode());
    Put16(v, 0);
    return Block(name, v, value.size() + 1, true);
}
QByteArray FixedInfo(quint32 ms, quint32 ls)
{
    QByteArray f;
    Put32(f, 0xFEEF04BD);
    Put32(f, 0x00010000);
    Put32(f, ms);
    Put32(f, ls);
    Put32(f, ms);
    Put32(f, ls);
    f += QByteArray(52 - 24, '\0');
    return f;
}
QByteArray VersionBlock(const QString &tableKey, quint16 lang, quint16 codePage, bool withFixed = true)
{
    QByteArray translation;
    Put16(translation, lang);
    Put16(translation, codePage);
    const QByteArray table = Block(tableKey, {}, 0, true,
                                   {StringBlock("CompanyName", "Orvendal"), StringBlock("FileVersion", "1.2.3.4"),
                                    StringBlock("FileDescription", "Test program")});
    const QByteArray strings = Block("StringFileInfo", {}, 0, true, {table});
    const QByteArray vars = Block("VarFileInfo", {}, 0, true, {Block("Translation", translation, 4, false)});
    return Block("VS_VERSION_INFO", withFixed ? FixedInfo(0x00010002, 0x00030004) : QByteArray(), withFixed ? 52 : 0,
                 false, {strings, vars});
}

// A one-section PE image whose .rsrc holds a resource of the given type (16 = version).
QByteArray Image(const QByteArray &resource, quint32 type = 16, bool pe32plus = false)
{
    const quint32 sectionRva = 0x1000, sectionRaw = 0x200;
    // Resource tree: type -> name 1 -> language 0x409 -> data entry -> resource bytes.
    QByteArray rsrc;
    auto dir = [&](quint32 id, quint32 target) {
        Put32(rsrc, 0);
        Put32(rsrc, 0);
        Put32(rsrc, 0);
        Put16(rsrc, 0);
        Put16(rsrc, 1);
        Put32(rsrc, id);
        Put32(rsrc, target);
    };
    dir(type, 0x80000000u | 24);
    dir(1, 0x80000000u | 48);
    dir(0x409, 72);
    Put32(rsrc, sectionRva + 88);
    Put32(rsrc, resource.size());
    Put32(rsrc, 1252);
    Put32(rsrc, 0);
    rsrc += resource;
    Pad4(rsrc);

    QByteArray img(0x40, '\0');
    img[0] = 'M';
    img[1] = 'Z';
    Set32(img, 0x3C, 0x40);
    img += QByteArray("PE\0\0", 4);
    const quint32 optionalSize = pe32plus ? 240 : 224;
    Put16(img, pe32plus ? 0x8664 : 0x14C);
    Put16(img, 1);
    Put32(img, 0);
    Put32(img, 0);
    Put32(img, 0);
    Put16(img, optionalSize);
    Put16(img, 0x0102);
    const qsizetype opt = img.size();
    img += QByteArray(optionalSize, '\0');
    img[opt] = char(0x0B);
    img[opt + 1] = char(pe32plus ? 0x02 : 0x01);
    const qsizetype count = opt + (pe32plus ? 108 : 92), dirs = opt + (pe32plus ? 112 : 96);
    Set32(img, count, 16);
    Set32(img, dirs + 16, sectionRva);
    Set32(img, dirs + 20, rsrc.size());
    QByteArray section(".rsrc\0\0\0", 8);
    Put32(section, rsrc.size());
    Put32(section, sectionRva);
    Put32(section, rsrc.size());
    Put32(section, sectionRaw);
    section += QByteArray(16, '\0');
    img += section;
    img.resize(sectionRaw, '\0');
    return img + rsrc;
}

} // namespace

TEST(PeReader, VersionRecords)
{
    const struct {
        const char *name;
        QByteArray image;
        bool ok;
        QString fileVersion;
        QString description;
    } cases[] = {
        {"upper-case table key", Image(VersionBlock("040904B0", 0x409, 0x4B0)), true, "1.2.3.4", "Test program"},
        {"lower-case table key", Image(VersionBlock("040904b0", 0x409, 0x4B0)), true, "1.2.3.4", "Test program"},
        {"PE32+", Image(VersionBlock("040904E4", 0x409, 0x4E4), 16, true), true, "1.2.3.4", "Test program"},
        {"translation without its table", Image(VersionBlock("040704B0", 0x409, 0x4B0)), true, "", ""},
        {"no version resource (an icon only)", Image(QByteArray(40, '\x11'), 3), false, "", ""},
        {"no PE signature", QByteArray(Image(VersionBlock("040904B0", 0x409, 0x4B0))).replace(0x40, 2, "NE"), false,
         "", ""},
        {"not an executable", QByteArray("plain text, no MZ at all"), false, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TVersionInfo info;
        ASSERT_EQ(PeReader::ReadVersionInfo(c.image, &info), c.ok);
        EXPECT_EQ(info.TranslatedValue("FileVersion"), c.fileVersion);
        EXPECT_EQ(info.TranslatedValue("filedescription"), c.description);
    }
}

TEST(PeReader, FixedInfoAndFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("prog.exe");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Image(VersionBlock("040904B0", 0x409, 0x4B0)));
    f.close();
    TVersionInfo info;
    ASSERT_TRUE(PeReader::ReadVersionInfoFile(path, &info));
    ASSERT_TRUE(info.HasFixedInfo);
    EXPECT_EQ(info.FileVersion[0], 1);
    EXPECT_EQ(info.FileVersion[1], 2);
    EXPECT_EQ(info.FileVersion[2], 3);
    EXPECT_EQ(info.FileVersion[3], 4);
    ASSERT_EQ(info.Translations.size(), 1);
    EXPECT_EQ(info.Translations.first().first, 0x409);
    EXPECT_EQ(info.Value("040904b0", "CompanyName"), "Orvendal");

    TVersionInfo noFixed;
    ASSERT_TRUE(PeReader::ReadVersionInfo(Image(VersionBlock("040904B0", 0x409, 0x4B0, false)), &noFixed));
    EXPECT_FALSE(noFixed.HasFixedInfo);
    EXPECT_EQ(noFixed.TranslatedValue("FileVersion"), "1.2.3.4");
    EXPECT_FALSE(PeReader::ReadVersionInfoFile(dir.filePath("missing.exe"), &info));
}

TEST(PeReader, SurvivesTruncationAndGarbage)
{
    const QByteArray image = Image(VersionBlock("040904B0", 0x409, 0x4B0));
    const qsizetype resourceEnd = image.size();
    for (qsizetype n = 0; n < image.size(); ++n) {
        TVersionInfo info;
        const bool ok = PeReader::ReadVersionInfo(image.left(n), &info);
        if (n < resourceEnd - 4) {
            EXPECT_FALSE(ok) << "cut at " << n;
        }
    }
    QRandomGenerator rng(1234);
    for (int round = 0; round < 4000; ++round) {
        QByteArray bytes = image;
        const int flips = 1 + rng.bounded(6);
        for (int i = 0; i < flips; ++i) {
            // Hit the headers and the resource tree more often than the padding.
            const int at = round % 2 ? rng.bounded(0x40, 0x180) : rng.bounded(0x200, int(bytes.size()));
            bytes[at] = char(rng.bounded(256));
        }
        if (round % 5 == 0) bytes.truncate(rng.bounded(int(bytes.size())));
        TVersionInfo info;
        PeReader::ReadVersionInfo(bytes, &info);
        (void)info.TranslatedValue("FileVersion");
    }
    SUCCEED();
}
