// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's ANSI code page and conversions through glibc iconv.
#include "CodePage.h"

#include "Registry.h"
#include "WinePrefix.h"

#include <cerrno>
#include <iconv.h>

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

// An iconv descriptor that closes itself; falls back to 1252 for a code page glibc does not know.
class TIconv
{
public:
    TIconv(const char *to, const char *from) : FCd(iconv_open(to, from)) {}
    ~TIconv()
    {
        if (Valid())
            iconv_close(FCd);
    }
    bool Valid() const { return FCd != iconv_t(-1); }
    iconv_t Get() const { return FCd; }

private:
    iconv_t FCd;
};

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
    TIconv conv(IconvName(codePage).constData(), "UTF-8");
    TIconv fallback("CP1252", "UTF-8");
    const iconv_t cd = conv.Valid() ? conv.Get() : fallback.Get();
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
    TIconv conv("UTF-8", IconvName(codePage).constData());
    TIconv fallback("UTF-8", "CP1252");
    const bool is1252 = !conv.Valid() || codePage == 1252;
    const iconv_t cd = conv.Valid() ? conv.Get() : fallback.Get();
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
