// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the CHM writer of the help tests, after the publicly documented ITSF/ITSP/PMGL layout.
#include "ChmBuilder.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <algorithm>

namespace TestSupport {
namespace {

constexpr quint32 ChunkSize = 0x1000;
constexpr quint32 ItsfLength = 0x60;
constexpr quint32 HeaderSection0Length = 0x18;
constexpr quint32 ItspLength = 0x54;

void Put32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}
void Put16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void Put64(QByteArray &b, quint64 v)
{
    Put32(b, quint32(v));
    Put32(b, quint32(v >> 32));
}
void PutGuid(QByteArray &b, quint32 d1, quint16 d2, quint16 d3, const char (&d4)[9])
{
    Put32(b, d1);
    Put16(b, d2);
    Put16(b, d3);
    b.append(d4, 8);
}
// Variable-length integer: 7 bits a byte, most significant first, high bit set on all but the last.
void PutEncInt(QByteArray &b, quint64 v)
{
    QByteArray bytes;
    bytes.prepend(char(v & 0x7F));
    v >>= 7;
    while (v) {
        bytes.prepend(char(0x80 | (v & 0x7F)));
        v >>= 7;
    }
    b.append(bytes);
}

QByteArray SamplePng()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x80, 0xE0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

TChmBuilder &TChmBuilder::Add(const QString &path, const QByteArray &data)
{
    FFiles.append({path, data});
    return *this;
}

TChmBuilder &TChmBuilder::System(const QString &defaultTopic, const QString &title)
{
    QByteArray s;
    Put32(s, 3);
    for (auto [code, text] : {QPair<quint16, QString>{2, defaultTopic}, {3, title}}) {
        const QByteArray bytes = text.toUtf8() + '\0';
        Put16(s, code);
        Put16(s, quint16(bytes.size()));
        s.append(bytes);
    }
    return Add(QStringLiteral("/#SYSTEM"), s);
}

TChmBuilder &TChmBuilder::ContextMap(const QMap<quint32, QString> &contexts)
{
    QByteArray strings(1, '\0');
    QByteArray pairs;
    for (auto it = contexts.begin(); it != contexts.end(); ++it) {
        Put32(pairs, it.key());
        Put32(pairs, quint32(strings.size()));
        strings.append(it.value().toUtf8() + '\0');
    }
    QByteArray ivb;
    Put32(ivb, quint32(pairs.size()));
    ivb.append(pairs);
    Add(QStringLiteral("/#IVB"), ivb);
    return Add(QStringLiteral("/#STRINGS"), strings);
}

QByteArray TChmBuilder::Build() const
{
    // Content section 0 holds the files back to back; the listing names each by offset and length.
    QList<QPair<QString, QByteArray>> files = FFiles;
    std::stable_sort(files.begin(), files.end(), [](const auto &a, const auto &b) {
        return a.first.toUtf8().toLower() < b.first.toUtf8().toLower();
    });
    QByteArray content;
    QByteArray entries;
    QList<quint16> entryOffsets;
    for (const auto &[path, data] : files) {
        entryOffsets.append(quint16(entries.size()));
        const QByteArray name = path.toUtf8();
        PutEncInt(entries, quint64(name.size()));
        entries.append(name);
        PutEncInt(entries, 0);  // content section 0: stored, not compressed
        PutEncInt(entries, quint64(content.size()));
        PutEncInt(entries, quint64(data.size()));
        content.append(data);
    }

    // Quick-reference entries (every fifth entry, density 2) and the entry count close the chunk.
    QList<quint16> quickRef;
    for (qsizetype i = 5; i < entryOffsets.size(); i += 5)
        quickRef.append(entryOffsets.at(i));
    const quint32 tail = quint32(2 + 2 * quickRef.size());
    Q_ASSERT(0x14 + entries.size() + tail <= ChunkSize);

    QByteArray chunk;
    chunk.append("PMGL", 4);
    Put32(chunk, ChunkSize - 0x14 - quint32(entries.size()));  // free space and quick reference
    Put32(chunk, 0);
    Put32(chunk, 0xFFFFFFFF);  // no previous listing chunk
    Put32(chunk, 0xFFFFFFFF);  // no next one
    chunk.append(entries);
    chunk.append(QByteArray(qsizetype(ChunkSize - tail) - chunk.size(), '\0'));
    for (qsizetype i = quickRef.size() - 1; i >= 0; --i)
        Put16(chunk, quickRef.at(i));
    Put16(chunk, quint16(files.size()));

    QByteArray directory;
    directory.append("ITSP", 4);
    Put32(directory, 1);
    Put32(directory, ItspLength);
    Put32(directory, 0x0A);
    Put32(directory, ChunkSize);
    Put32(directory, 2);           // quickref density
    Put32(directory, 1);           // index depth: no index chunk
    Put32(directory, 0xFFFFFFFF);  // root index chunk
    Put32(directory, 0);           // first listing chunk
    Put32(directory, 0);           // last listing chunk
    Put32(directory, 0xFFFFFFFF);
    Put32(directory, 1);  // chunks in all
    Put32(directory, 0x0409);
    PutGuid(directory, 0x5D02926A, 0x212E, 0x11D0, "\x9D\xF9\x00\xA0\xC9\x22\xE6\xEC");
    Put32(directory, ItspLength);
    Put32(directory, 0xFFFFFFFF);
    Put32(directory, 0xFFFFFFFF);
    Put32(directory, 0xFFFFFFFF);
    directory.append(chunk);

    const quint64 directoryOffset = ItsfLength + HeaderSection0Length;
    const quint64 contentOffset = directoryOffset + quint64(directory.size());
    const quint64 fileSize = contentOffset + quint64(content.size());

    QByteArray file;
    file.append("ITSF", 4);
    Put32(file, 3);
    Put32(file, ItsfLength);
    Put32(file, 1);
    Put32(file, 0);  // time stamp
    Put32(file, 0x0409);
    PutGuid(file, 0x7C01FD10, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC");
    PutGuid(file, 0x7C01FD11, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC");
    Put64(file, ItsfLength);
    Put64(file, HeaderSection0Length);
    Put64(file, directoryOffset);
    Put64(file, quint64(directory.size()));
    Put64(file, contentOffset);

    Put32(file, 0x01FE);
    Put32(file, 0);
    Put64(file, fileSize);
    Put32(file, 0);
    Put32(file, 0);

    file.append(directory);
    file.append(content);
    return file;
}

bool TChmBuilder::Save(const QString &hostPath) const
{
    QFile f(hostPath);
    return f.open(QIODevice::WriteOnly) && f.write(Build()) >= 0 && f.flush();
}

TChmBuilder TChmBuilder::Sample()
{
    TChmBuilder b;
    b.System(QStringLiteral("index.htm"), QStringLiteral("Vaskimo Help"));
    b.ContextMap({{13, QStringLiteral("tools/registry.htm")}, {17, QStringLiteral("undo.htm")}});
    b.Add(QStringLiteral("/index.htm"),
          "<html><head><title>Welcome</title></head><body><h1>Welcome to the help</h1>"
          "<p><a href=\"undo.htm\">Undo</a></p></body></html>");
    b.Add(QStringLiteral("/tools/registry.htm"),
          "<html><head><title>Registry</title><link rel=\"stylesheet\" type=\"text/css\" href=\"../help.css\"></head>"
          "<body><h1 class=\"big\">Registry cleaner</h1><p><img src=\"../pictures/dot.png\" width=\"4\" "
          "height=\"3\"></p></body></html>");
    b.Add(QStringLiteral("/undo.htm"), "<html><body><p>Undo files</p></body></html>");
    b.Add(QStringLiteral("/help.css"), "h1.big { color: #123456; }");
    b.Add(QStringLiteral("/pictures/dot.png"), SamplePng());
    return b;
}

} // namespace TestSupport
