// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reading "Vaskimo.upd", comparing versions, and the download and blacklist install steps.
#include "net/UpdateInfo.h"

#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/IniFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <memory>

namespace UpdateInfo {

namespace {

std::optional<quint32> ParseDecimal(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value > 0xFFFFFFFFull)
        return std::nullopt;
    return quint32(value);
}

} // namespace

TUpdateInfo ReadUpdateInfo(const QString &hostFile)
{
    const TIniFile ini(hostFile);
    const QString section = QStringLiteral("UpdateInfo");
    TUpdateInfo info;
    info.Version = ini.ReadString(section, QStringLiteral("Version"), NotAvailable);
    info.UpdateURL = ini.ReadString(section, QStringLiteral("UpdateURL"), NotAvailable);
    info.ReadmeURL = ini.ReadString(section, QStringLiteral("ReadmeURL"), NotAvailable);
    info.Details = ini.ReadString(section, QStringLiteral("Details"), NotAvailable);
    info.Blacklist = ini.ReadString(section, QStringLiteral("Blacklist"), NotAvailable);
    info.BlackDownloadURL = ini.ReadString(section, QStringLiteral("BlackDownloadURL"), NotAvailable);
    return info;
}

std::optional<TVersion> ParseProgramVersion(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() > 4)
        return std::nullopt;
    TVersion v = {0, 0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const std::optional<quint32> n = ParseDecimal(parts.at(i));
        if (!n)
            return std::nullopt;
        v[size_t(i)] = *n;
    }
    return v;
}

std::optional<quint32> ParseRelease(const QString &text)
{
    const QString word = QStringLiteral("Release ");
    if (!text.startsWith(word, Qt::CaseInsensitive))
        return std::nullopt;
    return ParseDecimal(text.mid(word.size()).trimmed());
}

QString BlacklistVersion(const QString &hostFile)
{
    const TIniFile ini(hostFile);
    return ini.ReadString(QStringLiteral("General"), QStringLiteral("Version"), QStringLiteral("Release 0"));
}

TComparison CompareVersions(const QString &current, const QString &available, const QString &currentBlacklist,
                            const QString &availableBlacklist)
{
    TComparison c;
    if (const std::optional<quint32> offered = ParseRelease(availableBlacklist))
        c.NewBlacklist = ParseRelease(currentBlacklist).value_or(0) < *offered;
    const std::optional<TVersion> offered = ParseProgramVersion(available);
    const std::optional<TVersion> running = ParseProgramVersion(current);
    if (offered)
        c.NewProgram = running.value_or(TVersion{0, 0, 0, 0}) < *offered;
    return c;
}

int ResultFor(const TComparison &c)
{
    if (c.NewProgram && c.NewBlacklist)
        return urBoth;
    if (c.NewProgram)
        return urNewProgram;
    if (c.NewBlacklist)
        return urNewBlacklist;
    return urNothingNew;
}

namespace {

// A name the update folder may hold a download under, or empty.
QString CheckedFileName(const QString &name)
{
    if (!TDriveMap::IsWindowsName(name))
        return QString();
    bool onlyDots = true;
    for (QChar c : name)
        onlyDots = onlyDots && c == u'.';
    if (onlyDots)
        return QString();
    for (const QString &own : {QStringLiteral("Options.ini"), BlacklistFileName, BlacklistTempName, InfoFileName,
                               QStringLiteral("Vaskimo.log"), QStringLiteral("vaskimo")})
        if (name.compare(own, Qt::CaseInsensitive) == 0)
            return QString();
    return name;
}

// The last segment of a path, separated by "/" or "\" (a server's or a Windows path).
QString LastSegment(const QString &path)
{
    return path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1);
}

bool EndsInExe(const QString &name) { return name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive); }

// A sign-in page, a proxy's or server's error page: markup where a file was asked for.
bool LooksLikeWebPage(const QByteArray &head)
{
    QByteArray text = head;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text.trimmed().startsWith('<');
}

// [rfc8187] 3.2: charset "'" language "'" percent-encoded bytes; UTF-8 and ISO-8859-1 are the
// charsets a recipient must know.
QString ExtendedValue(const QString &value)
{
    const qsizetype first = value.indexOf(u'\'');
    const qsizetype second = first < 0 ? -1 : value.indexOf(u'\'', first + 1);
    if (second < 0)
        return QString();
    const QString charset = value.left(first).toLower();
    const QByteArray bytes = QByteArray::fromPercentEncoding(value.mid(second + 1).toLatin1());
    if (charset == u"utf-8")
        return QString::fromUtf8(bytes);
    if (charset == u"iso-8859-1")
        return QString::fromLatin1(bytes);
    return QString();
}

// [rfc7230] 3.2.6: a quoted-string with its quotes and backslash escapes undone.
QString Unquoted(const QString &value)
{
    if (!value.startsWith(u'"'))
        return value;
    QString out;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'"')
            break;
        if (c == u'\\' && i + 1 < value.size())
            out += value.at(++i);
        else
            out += c;
    }
    return out;
}

// The parameters of a header value, split at ";" outside quoted strings: name (lower case), value.
QList<std::pair<QString, QString>> Parameters(const QString &value)
{
    QList<std::pair<QString, QString>> parameters;
    QString part;
    bool quoted = false;
    auto take = [&] {
        const qsizetype eq = part.indexOf(u'=');
        if (eq > 0)
            parameters.append({part.left(eq).trimmed().toLower(), part.mid(eq + 1).trimmed()});
        part.clear();
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (quoted && c == u'\\' && i + 1 < value.size()) {
            part += c;
            part += value.at(++i);
            continue;
        }
        if (c == u'"')
            quoted = !quoted;
        if (c == u';' && !quoted)
            take();
        else
            part += c;
    }
    take();
    return parameters;
}

} // namespace

QString DownloadFileName(const QString &url)
{
    QString path = url;
    path.truncate(path.indexOf(u'#') < 0 ? path.size() : path.indexOf(u'#'));
    path.truncate(path.indexOf(u'?') < 0 ? path.size() : path.indexOf(u'?'));
    // Past the scheme and the authority: "http://h:8080" names no file, and "8080" is none.
    const qsizetype scheme = path.indexOf(QStringLiteral("://"));
    if (scheme >= 0) {
        const qsizetype pathStart = path.indexOf(u'/', scheme + 3);
        path = pathStart < 0 ? QString() : path.mid(pathStart);
    }
    return CheckedFileName(QUrl::fromPercentEncoding(LastSegment(path).toUtf8()));
}

QString DispositionFileName(const QString &value)
{
    QString plain, extended;
    for (const auto &[name, parameter] : Parameters(value)) {
        if (name == u"filename*")
            extended = ExtendedValue(parameter);
        else if (name == u"filename")
            plain = Unquoted(parameter);
    }
    // A path in the value is the sender's, never a folder of ours.
    return CheckedFileName(LastSegment(extended.isEmpty() ? plain : extended));
}

QString ProgramFileName(const QString &address, const QString &contentDisposition, const QString &finalAddress)
{
    const QString candidates[] = {DownloadFileName(address), DispositionFileName(contentDisposition),
                                  DownloadFileName(finalAddress)};
    for (const QString &name : candidates)
        if (EndsInExe(name))
            return name;
    for (const QString &name : candidates)
        if (!name.isEmpty())
            return CheckedFileName(name + QStringLiteral(".exe"));
    return QString();
}

bool DownloadToFile(const QString &hostFile, const TFetch &fetch, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QBuffer document;
    document.open(QIODevice::WriteOnly);
    QString why;
    if (!fetch || !fetch(&document, &why))
        return fail(why);
    if (!DurableFile::Write(hostFile, document.data(), &why))
        return fail(QStringLiteral("Can't save \"%1\": %2").arg(hostFile, why));
    return true;
}

QString UpdateInfoProblem(const QString &hostFile)
{
    if (TIniFile(hostFile).SectionExists(QStringLiteral("UpdateInfo")))
        return {};
    QFile file(hostFile);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    if (LooksLikeWebPage(head))
        return QStringLiteral("The reply is a web page, not an update information file.");
    return QStringLiteral("The reply is no update information file: it has no [UpdateInfo] section.");
}

namespace {

quint16 Get16(const QByteArray &b, qint64 at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 Get32(const QByteArray &b, qint64 at) { return qFromLittleEndian<quint32>(b.constData() + at); }

// Follows a Windows program as it is written: keeps its first bytes (where the headers are) and
// the four bytes that give the COFF string table's length, and counts the rest.
class TPeCheck
{
public:
    static constexpr qint64 HeadSize = 256 * 1024;

    void Feed(const char *data, qint64 size)
    {
        if (FHead.size() < HeadSize)
            FHead.append(data, qMin(size, HeadSize - FHead.size()));
        if (FStringTableAt < 0)
            FStringTableAt = StringTableOffset();
        if (FStringTableAt >= 0) {
            // The part of [at, at + 4) that falls in this block.
            for (qint64 i = qMax(FStringTableAt, FSize); i < qMin(FStringTableAt + 4, FSize + size); ++i)
                FStringTableLength[i - FStringTableAt] = data[i - FSize];
        }
        FSize += size;
    }

    QString Problem(bool lengthKnown) const
    {
        if (LooksLikeWebPage(FHead.left(4096)))
            return QStringLiteral("The download is a web page, not a Windows program.");
        if (FHead.size() < 64 || !FHead.startsWith("MZ"))
            return QStringLiteral("The download is not a Windows program.");
        const qint64 pe = Get32(FHead, 0x3C);
        if (pe + 4 > FHead.size() || FHead.mid(pe, 4) != QByteArray("PE\0\0", 4))
            return QStringLiteral("The download is not a Windows program (no PE signature).");
        if (lengthKnown)
            return {};
        const qint64 required = RequiredSize(pe);
        if (required < 0)
            return QStringLiteral("The download ended with the connection, and its Windows program headers cannot "
                                  "be read to tell whether it is whole.");
        if (FSize < required)
            return QStringLiteral("The download is cut short: its Windows program headers call for at least %1 bytes, %2 arrived.")
                .arg(required)
                .arg(FSize);
        return {};
    }

private:
    // PointerToSymbolTable + 18 * NumberOfSymbols of the COFF header; -1 while unknown or none.
    qint64 StringTableOffset() const
    {
        if (FHead.size() < 64 || !FHead.startsWith("MZ"))
            return -1;
        const qint64 coff = qint64(Get32(FHead, 0x3C)) + 4;
        if (coff + 20 > FHead.size() || Get32(FHead, coff + 8) == 0)
            return -1;
        return qint64(Get32(FHead, coff + 8)) + 18 * qint64(Get32(FHead, coff + 12));
    }

    // The least size the headers call for; -1 when they lie beyond what was kept or make no sense.
    qint64 RequiredSize(qint64 pe) const
    {
        const qint64 coff = pe + 4;
        if (coff + 20 > FHead.size())
            return -1;
        const qint64 sections = Get16(FHead, coff + 2);
        const qint64 optional = coff + 20;
        const qint64 optionalSize = Get16(FHead, coff + 16);
        const qint64 table = optional + optionalSize;
        if (optionalSize < 64 || table + 40 * sections > FHead.size())
            return -1;
        const quint16 magic = Get16(FHead, optional);
        if (magic != 0x10B && magic != 0x20B)
            return -1;
        qint64 required = Get32(FHead, optional + 60);  // SizeOfHeaders
        for (qint64 i = 0; i < sections; ++i) {
            const qint64 rawSize = Get32(FHead, table + 40 * i + 16);
            const qint64 rawPointer = Get32(FHead, table + 40 * i + 20);
            if (rawSize > 0)
                required = qMax(required, rawPointer + rawSize);
        }
        // The certificate table (data directory 4) is a file offset, not an address: it ends a signed file.
        const qint64 directories = optional + (magic == 0x10B ? 96 : 112);
        const qint64 count = directories <= table ? Get32(FHead, directories - 4) : 0;
        if (count > 4 && directories + 8 * 5 <= table) {
            const qint64 at = Get32(FHead, directories + 8 * 4);
            const qint64 size = Get32(FHead, directories + 8 * 4 + 4);
            if (at > 0 && size > 0)
                required = qMax(required, at + size);
        }
        if (FStringTableAt >= 0) {
            // The string table's first four bytes are its length, themselves included.
            qint64 length = 4;
            if (FSize >= FStringTableAt + 4)
                length = qMax<qint64>(4, qFromLittleEndian<quint32>(FStringTableLength));
            required = qMax(required, FStringTableAt + length);
        }
        return required;
    }

    QByteArray FHead;
    qint64 FSize = 0;
    qint64 FStringTableAt = -1;
    char FStringTableLength[4] = {};
};

// The program download as the client writes it: a durable file, opened at the first byte (the
// reply's header has named the file by then), and the check of what it is, fed as it arrives.
class TProgramStream final : public QIODevice
{
public:
    explicit TProgramStream(std::function<QString()> targetName, QString folder)
        : FTargetName(std::move(targetName)), FFolder(std::move(folder))
    {
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return FWritten; }

    bool EnsureOpen()
    {
        if (FFile)
            return true;
        if (!FFailure.isEmpty())
            return false;
        FName = FTargetName();
        if (FName.isEmpty())
            return Fail(QStringLiteral("The download address names no file that can be saved."));
        FFile = std::make_unique<TDurableFile>(FFolder + FName, TDurableFile::TMode::Replace, 0644);
        if (!FFile->Open())
            return Fail(QStringLiteral("Can't save \"%1\": %2").arg(FFolder + FName, FFile->ErrorString()));
        return true;
    }
    bool Commit()
    {
        if (!EnsureOpen())
            return false;
        if (!FFile->Commit())
            return Fail(QStringLiteral("Can't save \"%1\": %2").arg(FFolder + FName, FFile->ErrorString()));
        return true;
    }

    const TPeCheck &Check() const { return FCheck; }
    const QString &Name() const { return FName; }
    // Why the file could not be named or written; empty while nothing failed.
    const QString &Failure() const { return FFailure; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (!EnsureOpen())
            return -1;
        if (!FFile->Write(data, size)) {
            Fail(QStringLiteral("Can't save \"%1\": %2").arg(FFolder + FName, FFile->ErrorString()));
            return -1;
        }
        FCheck.Feed(data, size);
        FWritten += size;
        return size;
    }

private:
    bool Fail(const QString &why)
    {
        FFailure = why;
        setErrorString(why);
        if (FFile)
            FFile->Cancel();
        return false;
    }

    std::function<QString()> FTargetName;
    QString FFolder, FName, FFailure;
    std::unique_ptr<TDurableFile> FFile;
    TPeCheck FCheck;
    qint64 FWritten = 0;
};

} // namespace

QString WindowsProgramProblem(const QByteArray &bytes, bool lengthKnown)
{
    TPeCheck check;
    check.Feed(bytes.constData(), bytes.size());
    return check.Problem(lengthKnown);
}

bool DownloadProgram(const QString &folder, const QString &address, const TFetch &fetch, const TFacts &facts,
                     QString *savedName, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    TProgramStream stream(
        [&] {
            const TReplyFacts reply = facts ? facts() : TReplyFacts();
            return ProgramFileName(address, reply.ContentDisposition, reply.FinalAddress);
        },
        folder);
    QString why;
    const bool fetched = fetch && fetch(&stream, &why);
    // The file's own failure says more than the client's "Can't write the document".
    if (!stream.Failure().isEmpty())
        return fail(stream.Failure());
    if (!fetched)
        return fail(why);
    if (!stream.EnsureOpen())
        return fail(stream.Failure());
    const bool lengthKnown = facts ? facts().LengthKnown : true;
    if (const QString problem = stream.Check().Problem(lengthKnown); !problem.isEmpty())
        return fail(problem);
    if (!stream.Commit())
        return fail(stream.Failure());
    if (savedName)
        *savedName = stream.Name();
    return true;
}

QString BlacklistStructureProblem(const QByteArray &bytes)
{
    if (!bytes.endsWith('\n'))
        return QStringLiteral("The blacklist ends in the middle of a line: the download was cut short.");
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        const bool section = line.startsWith('[') && line.endsWith(']');
        const qsizetype eq = line.indexOf('=');
        if (!section && eq <= 0)
            return QStringLiteral("Line %1 of the blacklist is no INI line: the download was cut short.").arg(i + 1);
        // Comma text: an entry with blanks is quoted, and a quote never closed is a cut entry.
        if (!section && line.mid(eq + 1).count('"') % 2 != 0)
            return QStringLiteral("Line %1 of the blacklist ends inside a quoted entry: the download was cut short.")
                .arg(i + 1);
    }
    return {};
}

TBlacklistInstall InstallBlacklist(const QString &programFolder, const TFetch &fetch, const TFacts &facts,
                                   QString *error)
{
    auto outcome = [error](TBlacklistInstall result, const QString &why) {
        if (error)
            *error = why;
        return result;
    };
    const QString temp = programFolder + BlacklistTempName;
    const QString blacklist = programFolder + BlacklistFileName;
    // Without the program's folder the files would land in whatever folder is current.
    if (!QDir::isAbsolutePath(programFolder))
        return outcome(TBlacklistInstall::DownloadFailed, QStringLiteral("No program folder."));
    QFile::remove(temp);  // left by an earlier run that ended half-way
    QBuffer document;
    document.open(QIODevice::WriteOnly);
    QString why;
    if (!fetch || !fetch(&document, &why))
        return outcome(TBlacklistInstall::DownloadFailed, why);
    if (facts && !facts().LengthKnown) {
        if (const QString cut = BlacklistStructureProblem(document.data()); !cut.isEmpty())
            return outcome(TBlacklistInstall::NotABlacklist, cut);
    }
    if (!DurableFile::Write(temp, document.data(), &why))
        return outcome(TBlacklistInstall::DownloadFailed, QStringLiteral("Can't save \"%1\": %2").arg(temp, why));
    // A captive portal's page or a server's error text is no blacklist: the cleaners would lose
    // their skip lists and the next check would offer the same release again.
    if (!ParseRelease(TIniFile(temp).ReadString(QStringLiteral("General"), QStringLiteral("Version"), QString()))) {
        QFile::remove(temp);
        return outcome(TBlacklistInstall::NotABlacklist, QStringLiteral("The downloaded file is no blacklist."));
    }
    if (!DurableFile::Rename(temp, blacklist, &why)) {
        QFile::remove(temp);
        return outcome(TBlacklistInstall::ReplaceFailed, QStringLiteral("\"%1\" could not be replaced: %2").arg(blacklist, why));
    }
    return TBlacklistInstall::Installed;
}

} // namespace UpdateInfo
