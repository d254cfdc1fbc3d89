// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's ANSI code page and conversions through glibc iconv.
#include "CodePage.h"

#include "Registry.h"
#include "WinePrefix.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace {

QByteArray IconvName(int codePage)
{
    switch (codePage) {
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    default: break;
    }
    if (codePage >= 28591 && codePage <= 28606)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    return "CP" + QByteArray::number(codePage);
}

// The converters of one thread, one per code page and direction, opened at first use and kept:
// opening one loads glibc's conversion module, which costs far more than a string's conversion
// (a shortcut holds several strings). A code page glibc does not know converts as 1252.
class TConverters
{
public:
    ~TConverters()
    {
        for (const TEntry &e : FEntries)
            iconv_close(e.Cd);
    }
    // A converter in its initial state; *as1252: the code page is 1252 or converts as it.
    iconv_t Get(int codePage, bool toAnsi, bool *as1252)
    {
        for (const TEntry &e : FEntries)
            if (e.CodePage == codePage && e.ToAnsi == toAnsi) {
                iconv(e.Cd, nullptr, nullptr, nullptr, nullptr);
                *as1252 = e.As1252;
                return e.Cd;
            }
        const QByteArray name = IconvName(codePage);
        iconv_t cd = toAnsi ? iconv_open(name.constData(), "UTF-8") : iconv_open("UTF-8", name.constData());
        bool as = codePage == 1252;
        if (cd == iconv_t(-1)) {
            cd = toAnsi ? iconv_open("CP1252", "UTF-8") : iconv_open("UTF-8", "CP1252");
            as = true;
        }
        FEntries.push_back({codePage, toAnsi, as, cd});
        *as1252 = as;
        return cd;
    }

private:
    struct TEntry {
        int CodePage;
        bool ToAnsi;
        bool As1252;
        iconv_t Cd;
    };
    std::vector<TEntry> FEntries;
};

thread_local TConverters GConverters;

}  // namespace

int AnsiCodePage(const std::shared_ptr<TWinePrefix> &prefix)
{
    TRegistry reg(TRootKey::LocalMachine, prefix);
    if (!reg.OpenKeyReadOnly(QStringLiteral("\\System\\CurrentControlSet\\Control\\Nls\\CodePage")))
        return 1252;
    try {
        bool ok = false;
        const int cp = reg.ReadString(QStringLiteral("ACP")).trimmed().toInt(&ok);
        return ok && cp > 0 ? cp : 1252;
    } catch (const ERegistryException &) {
        return 1252;
    }
}

QByteArray EncodeAnsi(const QString &text, int codePage, bool *lossless)
{
    if (lossless)
        *lossless = true;
    bool as1252 = false;
    const iconv_t cd = GConverters.Get(codePage, true, &as1252);
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 4 + 16, '\0');
    char *src = in.data();
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1))
            break;
        if (errno == E2BIG) {
            const qsizetype used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = size_t(out.size() - used);
            continue;
        }
        // EILSEQ: the character has no byte here. EINVAL: a cut sequence (a lone surrogate).
        if (lossless)
            *lossless = false;
        int skip = 1;
        while (skip < int(srcLeft) && (uchar(src[skip]) & 0xC0) == 0x80)
            ++skip;
        src += skip;
        srcLeft -= size_t(skip);
        if (dstLeft < 1) {
            const qsizetype used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = size_t(out.size() - used);
        }
        *dst++ = '?';
        --dstLeft;
    }
    // Shift sequences of stateful code pages end here.
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.resize(dst - out.data());
    return out;
}

QString DecodeAnsi(const QByteArray &bytes, int codePage)
{
    bool is1252 = false;
    const iconv_t cd = GConverters.Get(codePage, false, &is1252);
    QByteArray in = bytes;
    QString result;
    QByteArray out(in.size() * 4 + 16, '\0');
    char *src = in.data();
    size_t srcLeft = size_t(in.size());
    while (true) {
        char *dst = out.data();
        size_t dstLeft = size_t(out.size());
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        result += QString::fromUtf8(out.constData(), dst - out.data());
        if (r != size_t(-1) || srcLeft == 0)
            break;
        if (errno == E2BIG)
            continue;
        const uchar b = uchar(*src);
        if (is1252 && (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D))
            result += QChar(b);
        else
            result += QChar(0xFFFD);
        ++src;
        --srcLeft;
    }
    return result;
}
