// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the content-coding registry, the "Accept-Encoding" value and the decoder chain of a reply body.
#include "net/HttpContCod.h"

#include "platform/CommaText.h"

namespace {

const QLatin1String kClassPrefix("THttpContentCoding");

QString QualityText(float Quality)
{
    // "0.###" with "." whatever the locale says
    QString text = QString::number(double(Quality), 'f', 3);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

}  // namespace

QString THttpContentCodingClass::GetCoding() const
{
    const QString name = ClassName();
    if (!name.startsWith(kClassPrefix))
        throw EHttpContentCodingException(QStringLiteral("GetCoding must be overriden in %1").arg(name));
    return name.mid(kClassPrefix.size());
}

TContCodingsList::TContCodingsList()
{
    RegisterCoding(THttpContentCodingClassOf<THttpCCodIdentity>::Instance(), 0);
    RegisterCoding(THttpContentCodingClassOf<THttpCCodStar>::Instance(), 0);
}

void TContCodingsList::RegisterCoding(const THttpContentCodingClass *CodingClass, float Quality)
{
    FEntries.append({CodingClass, Quality});
}

const THttpContentCodingClass *TContCodingsList::FindCoding(const QString &Token) const
{
    for (qsizetype i = FEntries.size() - 1; i >= 0; --i)
        if (FEntries.at(i).CodingClass->GetCoding().compare(Token, Qt::CaseInsensitive) == 0)
            return FEntries.at(i).CodingClass;
    return nullptr;
}

TContCodingsList &ContCodings()
{
    static TContCodingsList list;
    return list;
}

THttpContCodHandler::THttpContCodHandler(QIODevice *const *StreamReference, THttpWriteTarget DocDataCallback)
    : FStreamReference(StreamReference), FDocData(std::move(DocDataCallback))
{
    const TContCodingsList &codings = ContCodings();
    for (qsizetype i = 0; i < codings.Count(); ++i)
        FItems.append({codings.Entry(i).CodingClass, true, codings.Entry(i).Quality});
    FInput = [this](const char *Buffer, qint64 Count) { WriteToOutput(Buffer, Count); };
}

THttpContCodHandler::~THttpContCodHandler() = default;

void THttpContCodHandler::SetEnabled(bool Value)
{
    FEnabled = Value;
}

void THttpContCodHandler::SetUseQuality(bool Value)
{
    if (Value != FUseQuality)
        FRecalc = true;
    FUseQuality = Value;
}

QString THttpContCodHandler::GetAcceptEncoding()
{
    if (!FEnabled)
        return QString();
    if (!FRecalc)
        return FHeader;
    FRecalc = false;
    QList<const THttpContCodItem *> taking;
    for (const THttpContCodItem &item : FItems)
        if (item.Enabled && item.CodingClass->IsAvailable())
            taking.append(&item);
    FHeader.clear();
    if (FUseQuality && taking.size() >= 2) {
        for (const THttpContCodItem *item : taking) {
            const QString token = item->CodingClass->GetCoding() + QStringLiteral(";q=") + QualityText(item->Quality);
            FHeader = FHeader.isEmpty() ? token : FHeader + QStringLiteral(", ") + token;
        }
    } else {
        for (const THttpContCodItem *item : taking) {
            if (item->Quality <= 0)
                continue;
            const QString token = item->CodingClass->GetCoding();
            FHeader = FHeader.isEmpty() ? token : FHeader + QStringLiteral(", ") + token;
        }
    }
    return FHeader;
}

void THttpContCodHandler::FreeChain()
{
    FInput = [this](const char *Buffer, qint64 Count) { WriteToOutput(Buffer, Count); };
    FDecoders.clear();
}

bool THttpContCodHandler::Prepare(const QString &ContentEncoding)
{
    FreeChain();
    FOutputFailed = false;
    if (!FEnabled || ContentEncoding.isEmpty())
        return true;
    for (const QString &token : CommaTextToList(ContentEncoding)) {
        if (token.isEmpty())
            continue;
        const THttpContentCodingClass *codingClass = ContCodings().FindCoding(token);
        if (!codingClass) {
            FreeChain();
            return false;
        }
        FDecoders.push_back(codingClass->Create(FInput));
        THttpContentCoding *decoder = FDecoders.back().get();
        FInput = [decoder](const char *Buffer, qint64 Count) { decoder->WriteBuffer(Buffer, Count); };
    }
    return true;
}

void THttpContCodHandler::WriteBuffer(const char *Buffer, qint64 Count)
{
    FInput(Buffer, Count);
}

void THttpContCodHandler::Complete()
{
    for (auto it = FDecoders.rbegin(); it != FDecoders.rend(); ++it)
        (*it)->Complete();
}

void THttpContCodHandler::WriteToOutput(const char *Buffer, qint64 Count)
{
    if (QIODevice *stream = OutputStream())
        if (stream->write(Buffer, Count) != Count)
            FOutputFailed = true;
    if (FDocData)
        FDocData(Buffer, Count);
}
