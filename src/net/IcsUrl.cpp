// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: URL splitting, n-th substring search and hex digits of the HTTP client.
#include "net/IcsUrl.h"

namespace {

// The base folder of a relative name: the base cut after its last "/", "/" when it has none.
QString BaseFolder(const QString &Base)
{
    const qsizetype slash = Base.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral("/") : Base.left(slash + 1);
}

// "/a/b/" -> "/a/"; a folder with no parent left gives "/".
QString ParentFolder(const QString &Folder)
{
    const qsizetype slash = Folder.lastIndexOf(u'/', Folder.size() - 2);
    return slash < 0 ? QStringLiteral("/") : Folder.left(slash + 1);
}

bool IsSchemeText(const QString &Text)
{
    for (const QChar c : Text) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'.'))
            return false;
    }
    return true;
}

void SplitAuthority(const QString &Authority, QString &User, QString &Pass, QString &Host, QString &Port)
{
    const qsizetype colon = Authority.lastIndexOf(u':');
    const qsizetype at = Authority.lastIndexOf(u'@');
    if (colon < 0 && at < 0) {
        Host = Authority;
    } else if (colon > at) {
        Port = Authority.mid(colon + 1);
        Host = Authority.mid(at + 1, colon - at - 1);
    } else {
        Host = Authority.mid(at + 1);
    }
    if (at >= 0) {
        const QString userPart = Authority.left(at);
        const qsizetype sep = userPart.indexOf(u':');
        if (sep < 0) {
            User = userPart;
        } else {
            User = userPart.left(sep);
            Pass = userPart.mid(sep + 1);
        }
    }
}

void SplitAuthorityAndPath(const QString &Text, QString &User, QString &Pass, QString &Host, QString &Port,
                           QString &Path)
{
    qsizetype start = Text.indexOf(u'/');
    const qsizetype query = Text.indexOf(u'?');
    if (query >= 0 && (start < 0 || query < start))
        start = query;
    if (start < 0)
        start = Text.size();
    Path = Text.mid(start);
    SplitAuthority(Text.left(start), User, Pass, Host, Port);
}

}  // namespace

void SplitUrl(const QString &Url, QString &Proto, QString &User, QString &Pass, QString &Host, QString &Port,
              QString &Path)
{
    const QString base = Path;
    Proto.clear();
    User.clear();
    Pass.clear();
    Host.clear();
    Port.clear();
    Path.clear();
    if (Url.isEmpty())
        return;

    if (Url.startsWith(QLatin1String("./"))) {
        Path = BaseFolder(base) + Url.mid(2);
        return;
    }
    if (Url.startsWith(QLatin1String("../"))) {
        QString folder = BaseFolder(base);
        qsizetype rest = 0;
        while (Url.mid(rest, 3) == QLatin1String("../")) {
            folder = ParentFolder(folder);
            rest += 3;
        }
        Path = folder + Url.mid(rest);
        return;
    }

    QString remainder;
    const qsizetype sep = Url.indexOf(QLatin1String("://"));
    if (sep >= 0) {
        const QString scheme = Url.left(sep).toLower();
        if (IsSchemeText(scheme)) {
            Proto = scheme;
            remainder = Url.mid(sep + 3);
        } else {
            Proto = QStringLiteral("http");
            remainder = Url;
        }
    } else if (Url.startsWith(u'/')) {
        Proto = QStringLiteral("http");
        if (Url.size() > 1 && Url.at(1) != u'/') {
            Path = Url;
            return;
        }
        // "//host/path": a network path whose authority follows both slashes
        remainder = Url.mid(2);
    } else if (Url.startsWith(QLatin1String("http:"), Qt::CaseInsensitive)) {
        Proto = QStringLiteral("http");
        if (Url.size() > 6 && Url.at(6) != u'/') {
            Path = Url.mid(5);
            return;
        }
        remainder = Url.mid(6);
    } else if (Url.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
        Proto = QStringLiteral("mailto");
        SplitAuthority(Url.mid(Url.indexOf(u':') + 1), User, Pass, Host, Port);
        return;
    } else {
        remainder = Url;
    }
    SplitAuthorityAndPath(remainder, User, Pass, Host, Port, Path);
}

int FindNthOccurrence(const QString &Sub, const QString &S, int N)
{
    if (N == 0 || Sub.isEmpty() || Sub.size() > S.size())
        return 0;
    if (N > 0) {
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = S.indexOf(Sub, from);
            if (at < 0)
                return 0;
            if (--N == 0)
                return int(at + 1);
            from = at + 1;
        }
    }
    qsizetype from = S.size() - Sub.size();
    for (;;) {
        const qsizetype at = S.lastIndexOf(Sub, from);
        if (at < 0)
            return 0;
        if (++N == 0)
            return int(at + 1);
        if (at == 0)
            return 0;
        from = at - 1;
    }
}

bool IsHexDigit(char Ch)
{
    return (Ch >= '0' && Ch <= '9') || (Ch >= 'a' && Ch <= 'f') || (Ch >= 'A' && Ch <= 'F');
}

bool IsHexDigit(QChar Ch)
{
    return Ch.unicode() < 0x80 && IsHexDigit(char(Ch.unicode()));
}

int HexDigitValue(char Ch)
{
    return Ch >= '0' && Ch <= '9' ? Ch - '0' : (Ch & 15) + 9;
}

int HexDigitValue(QChar Ch)
{
    return HexDigitValue(char(Ch.unicode() & 0x7F));
}
