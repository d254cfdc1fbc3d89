// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TIcsLogger, where sockets and the HTTP client hand their diagnostic texts.
//
// A text goes to the event, to the debugger output (qDebug) and to a file, in that order, as the
// destination options choose, each optionally stamped "hh:nn:ss:zzz". Every operation holds the
// logger's own lock, so lines written from several threads never interleave.
#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

enum TLogOption {
    loDestEvent,
    loDestFile,
    loDestOutDebug,
    loAddStamp,
    loWsockErr,
    loWsockInfo,
    loWsockDump,
    loSslErr,
    loSslInfo,
    loSslDump,
    loProtSpecErr,
    loProtSpecInfo,
    loProtSpecDump
};

// A set of TLogOption, one bit per ordinal.
class TLogOptions
{
public:
    constexpr TLogOptions() = default;
    constexpr TLogOptions(std::initializer_list<TLogOption> options)
    {
        for (TLogOption o : options)
            FBits |= 1u << o;
    }
    constexpr bool Contains(TLogOption o) const { return (FBits & (1u << o)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TLogOptions &operator+=(TLogOption o) { FBits |= 1u << o; return *this; }
    constexpr TLogOptions &operator-=(TLogOption o) { FBits &= ~(1u << o); return *this; }
    constexpr bool operator==(const TLogOptions &) const = default;

private:
    unsigned FBits = 0;
};

enum TLogFileOption { lfoAppend, lfoOverwrite };

class ELoggerException : public std::runtime_error
{
public:
    explicit ELoggerException(const QString &message);
    QString Message() const;
};

// Sender is the socket or client that logs; Msg already carries the stamp when one was asked for.
using TIcsLogEvent = std::function<void(QObject *Sender, TLogOption LogOption, const QString &Msg)>;

class TIcsLogger : public QObject
{
    Q_OBJECT

public:
    explicit TIcsLogger(QObject *AOwner = nullptr);
    ~TIcsLogger() override;

    // Raises ELoggerException when the file cannot be opened ("File name empty" for no name).
    void WriteLog(QObject *Sender, TLogOption LogOption, const QString &Msg);

    QString LogFileName() const;
    // A name that differs byte for byte closes the open file; the next write opens the new one.
    void SetLogFileName(const QString &Name);
    TLogFileOption LogFileOption() const;
    void SetLogFileOption(TLogFileOption Option);
    TLogOptions LogOptions() const;
    void SetLogOptions(TLogOptions Options);
    void SetOnIcsLogEvent(TIcsLogEvent Handler);

    // The file's bytes are the texts' UTF-8, each followed by CR LF.
    void OpenLogStream();
    void CloseLogStream();

private:
    void OpenLogStreamLocked();
    void CloseLogStreamLocked();

    mutable std::recursive_mutex FLock;
    QString FLogFileName;
    TLogFileOption FLogFileOption = lfoAppend;
    TLogOptions FLogOptions;
    TIcsLogEvent FOnIcsLogEvent;
    std::unique_ptr<QFile> FLogStream;
    bool FDestroying = false;
};
