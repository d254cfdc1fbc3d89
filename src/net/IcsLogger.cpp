// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TIcsLogger, where sockets and the HTTP client hand their diagnostic texts.
#include "net/IcsLogger.h"

#include <QDebug>
#include <QTime>

#include <sys/file.h>

ELoggerException::ELoggerException(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

QString ELoggerException::Message() const
{
    return QString::fromStdString(what());
}

TIcsLogger::TIcsLogger(QObject *AOwner)
    : QObject(AOwner)
{
}

TIcsLogger::~TIcsLogger()
{
    std::lock_guard lock(FLock);
    FDestroying = true;
    CloseLogStreamLocked();
}

static QString Stamp()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz"));
}

void TIcsLogger::WriteLog(QObject *Sender, TLogOption LogOption, const QString &Msg)
{
    std::lock_guard lock(FLock);
    if (FDestroying)
        return;
    const bool stamped = FLogOptions.Contains(loAddStamp);
    auto text = [&] { return stamped ? Stamp() + QLatin1Char(' ') + Msg : Msg; };
    if (FLogOptions.Contains(loDestEvent) && FOnIcsLogEvent)
        FOnIcsLogEvent(Sender, LogOption, text());
    if (FLogOptions.Contains(loDestOutDebug))
        qDebug().noquote() << text();
    if (FLogOptions.Contains(loDestFile)) {
        if (!FLogStream)
            OpenLogStreamLocked();
        const QByteArray bytes = (text() + QStringLiteral("\r\n")).toUtf8();
        if (FLogStream->write(bytes) != bytes.size() || !FLogStream->flush())
            throw ELoggerException(FLogStream->errorString());
    }
}

QString TIcsLogger::LogFileName() const
{
    std::lock_guard lock(FLock);
    return FLogFileName;
}

void TIcsLogger::SetLogFileName(const QString &Name)
{
    std::lock_guard lock(FLock);
    if (Name == FLogFileName)
        return;
    FLogFileName = Name;
    CloseLogStreamLocked();
}

TLogFileOption TIcsLogger::LogFileOption() const
{
    std::lock_guard lock(FLock);
    return FLogFileOption;
}

void TIcsLogger::SetLogFileOption(TLogFileOption Option)
{
    std::lock_guard lock(FLock);
    FLogFileOption = Option;
}

TLogOptions TIcsLogger::LogOptions() const
{
    std::lock_guard lock(FLock);
    return FLogOptions;
}

void TIcsLogger::SetLogOptions(TLogOptions Options)
{
    std::lock_guard lock(FLock);
    FLogOptions = Options;
}

void TIcsLogger::SetOnIcsLogEvent(TIcsLogEvent Handler)
{
    std::lock_guard lock(FLock);
    FOnIcsLogEvent = std::move(Handler);
}

void TIcsLogger::OpenLogStream()
{
    std::lock_guard lock(FLock);
    OpenLogStreamLocked();
}

void TIcsLogger::CloseLogStream()
{
    std::lock_guard lock(FLock);
    CloseLogStreamLocked();
}

void TIcsLogger::OpenLogStreamLocked()
{
    CloseLogStreamLocked();
    if (FLogFileName.isEmpty())
        throw ELoggerException(QStringLiteral("File name empty"));
    auto file = std::make_unique<QFile>(FLogFileName);
    // ReadWrite creates a missing file empty; it never truncates one that exists.
    if (!file->open(QIODevice::ReadWrite))
        throw ELoggerException(file->errorString());
    // Writing is denied to other loggers while this one holds the file.
    if (::flock(file->handle(), LOCK_EX | LOCK_NB) != 0)
        throw ELoggerException(QStringLiteral("The file \"%1\" is in use by another logger").arg(FLogFileName));
    if (FLogFileOption == lfoOverwrite) {
        if (!file->resize(0))
            throw ELoggerException(file->errorString());
    } else if (!file->seek(file->size())) {
        throw ELoggerException(file->errorString());
    }
    FLogStream = std::move(file);
}

void TIcsLogger::CloseLogStreamLocked()
{
    FLogStream.reset();
}
