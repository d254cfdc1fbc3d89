// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: HTTP content codings: the process-wide registry, the "Accept-Encoding" value and the body decoder chain.
#pragma once

#include <QIODevice>
#include <QList>
#include <QString>

#include <concepts>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class EHttpContentCodingException : public std::runtime_error
{
public:
    explicit EHttpContentCodingException(const QString &Message)
        : std::runtime_error(Message.toStdString()), FMessage(Message) {}
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// Where a decoder (or the handler's input) writes a block of data.
using THttpWriteTarget = std::function<void(const char *Buffer, qint64 Count)>;

// One decoder of a chain: its input is WriteBuffer, its output the write target it was made with.
// The base passes data through unchanged.
class THttpContentCoding
{
public:
    explicit THttpContentCoding(THttpWriteTarget WriteTarget) : FWriteTarget(std::move(WriteTarget)) {}
    virtual ~THttpContentCoding() = default;
    THttpContentCoding(const THttpContentCoding &) = delete;
    THttpContentCoding &operator=(const THttpContentCoding &) = delete;

    virtual void WriteBuffer(const char *Buffer, qint64 Count) { FWriteTarget(Buffer, Count); }
    // End of the body: a decoder flushes what it holds back.
    virtual void Complete() {}

protected:
    THttpWriteTarget FWriteTarget;
};

// The class side of a coding (what the registry holds): its name, whether it can be used, its token
// and how to make a decoder. One static instance per coding class.
class THttpContentCodingClass
{
public:
    virtual ~THttpContentCodingClass() = default;
    virtual QString ClassName() const = 0;
    virtual bool IsAvailable() const { return true; }
    // A class named "THttpContentCoding..." answers with the rest of its name; any other class
    // must override this, else EHttpContentCodingException "GetCoding must be overriden in %s".
    virtual QString GetCoding() const;
    virtual std::unique_ptr<THttpContentCoding> Create(THttpWriteTarget WriteTarget) const = 0;
};

// The class side of decoder T. T gives `static QString ClassName()`, and may give
// `static QString GetCoding()` and `static bool IsAvailable()`.
template <std::derived_from<THttpContentCoding> T>
class THttpContentCodingClassOf final : public THttpContentCodingClass
{
public:
    QString ClassName() const override { return T::ClassName(); }
    bool IsAvailable() const override
    {
        if constexpr (requires { T::IsAvailable(); })
            return T::IsAvailable();
        else
            return THttpContentCodingClass::IsAvailable();
    }
    QString GetCoding() const override
    {
        if constexpr (requires { T::GetCoding(); })
            return T::GetCoding();
        else
            return THttpContentCodingClass::GetCoding();
    }
    std::unique_ptr<THttpContentCoding> Create(THttpWriteTarget WriteTarget) const override
    {
        return std::make_unique<T>(std::move(WriteTarget));
    }
    static const THttpContentCodingClass *Instance()
    {
        static const THttpContentCodingClassOf Self;
        return &Self;
    }
};

class THttpCCodIdentity final : public THttpContentCoding
{
public:
    using THttpContentCoding::THttpContentCoding;
    static QString ClassName() { return QStringLiteral("THttpCCodIdentity"); }
    static QString GetCoding() { return QStringLiteral("identity"); }
};

class THttpCCodStar final : public THttpContentCoding
{
public:
    using THttpContentCoding::THttpContentCoding;
    static QString ClassName() { return QStringLiteral("THttpCCodStar"); }
    static QString GetCoding() { return QStringLiteral("*"); }
};

struct TContCodingEntry
{
    const THttpContentCodingClass *CodingClass = nullptr;
    float Quality = 0;
};

// The registry of codings; starts with "identity" and "*", both of quality 0.
class TContCodingsList
{
public:
    TContCodingsList();
    void RegisterCoding(const THttpContentCodingClass *CodingClass, float Quality);
    // The class whose token equals Token ignoring case, the latest registered first; nullptr if none.
    const THttpContentCodingClass *FindCoding(const QString &Token) const;
    qsizetype Count() const { return FEntries.size(); }
    const TContCodingEntry &Entry(qsizetype Index) const { return FEntries.at(Index); }

private:
    QList<TContCodingEntry> FEntries;
};

// The one registry of the process, made on first use.
TContCodingsList &ContCodings();

// One registered coding as one handler sees it.
struct THttpContCodItem
{
    const THttpContentCodingClass *CodingClass = nullptr;
    bool Enabled = true;
    float Quality = 0;
};

// Owned by an HTTP client: builds its "Accept-Encoding" value and takes every block of a reply body
// through the decoders that the reply's "Content-Encoding" names, into the receive stream and the
// client's document-data callback.
class THttpContCodHandler
{
public:
    // StreamReference points at the client's receive-stream field, so a stream assigned later is used;
    // the streams are not owned.
    THttpContCodHandler(QIODevice *const *StreamReference, THttpWriteTarget DocDataCallback);
    ~THttpContCodHandler();
    THttpContCodHandler(const THttpContCodHandler &) = delete;
    THttpContCodHandler &operator=(const THttpContCodHandler &) = delete;

    // Empty while the handler is disabled.
    QString GetAcceptEncoding();
    // Once per body, before its first data. False when the header names an unknown coding: the
    // body then goes through undecoded.
    bool Prepare(const QString &ContentEncoding);
    // The input: every block of body data.
    void WriteBuffer(const char *Buffer, qint64 Count);
    // End of the body: completes the decoders, the last made first.
    void Complete();
    // The stream took fewer bytes than it was given since Prepare (a full disk).
    bool OutputFailed() const { return FOutputFailed; }

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    bool UseQuality() const { return FUseQuality; }
    void SetUseQuality(bool Value);
    QIODevice *OutputStream() const { return FStreamReference ? *FStreamReference : nullptr; }
    // One item per registry entry at the handler's creation, in registry order. Changing an item
    // through ItemsChanged() makes the next GetAcceptEncoding rebuild its value.
    QList<THttpContCodItem> &Items() { return FItems; }
    void ItemsChanged() { FRecalc = true; }

private:
    void WriteToOutput(const char *Buffer, qint64 Count);
    void FreeChain();

    QIODevice *const *FStreamReference;
    THttpWriteTarget FDocData;
    bool FEnabled = false;
    bool FUseQuality = false;
    bool FRecalc = true;
    bool FOutputFailed = false;
    QString FHeader;
    QList<THttpContCodItem> FItems;
    std::vector<std::unique_ptr<THttpContentCoding>> FDecoders;
    THttpWriteTarget FInput;
};
