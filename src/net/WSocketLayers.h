// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the socket layers over TCustomWSocket: SOCKS 4/4A/5 proxying, line mode, the synchronous wait, TWSocket.
//
// Each layer is a class derived from the one below and overrides its virtual Trigger* operations;
// TWSocket, the class that is created, adds nothing. The SOCKS handshake is transparent: the caller
// hears OnSessionConnected only when the proxy has connected it to Addr:Port (or with the SOCKS
// error number when the handshake failed, followed by OnSessionClosed).
#pragma once

#include "net/WSocket.h"

#include <QByteArray>
#include <QString>

#include <functional>

enum TSocksState : quint8 { socksData, socksNegociateMethods, socksAuthenticate, socksConnect };
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

using TSocksErrorEvent = std::function<void(QObject *Sender, int Error, const QString &Msg)>;
using TSocksAuthStateEvent = std::function<void(QObject *Sender, TSocksAuthState AuthState)>;
using TLineLimitEvent = std::function<void(QObject *Sender, int RcvdLength, bool &ClearData)>;

class TCustomSocksWSocket : public TCustomWSocket
{
public:
    explicit TCustomSocksWSocket(QObject *AOwner = nullptr);

    QString SocksLevel() const { return FSocksLevel; }
    // "4", "4A" (or "4a") or "5"; only while closed.
    void SetSocksLevel(const QString &Value);
    QString SocksServer() const { return FSocksServer; }
    virtual void SetSocksServer(const QString &Value);
    QString SocksPort() const { return FSocksPort; }
    virtual void SetSocksPort(const QString &Value);
    QString SocksUsercode() const { return FSocksUsercode; }
    void SetSocksUsercode(const QString &Value) { FSocksUsercode = Value; }
    QString SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const QString &Value) { FSocksPassword = Value; }
    TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication Value) { FSocksAuthentication = Value; }
    // What a SOCKS 5 proxy reported as its bound address and port (kept, not used).
    QString SocksBoundAddr() const { return FBoundAddr; }
    QString SocksBoundPort() const { return FBoundPort; }

    TSessionConnected OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    void Connect() override;
    void Listen() override;

protected:
    void ResetToDefaults() override;
    bool TriggerDataAvailable(quint16 Error) override;
    void TriggerSessionConnected(quint16 Error) override;
    void TriggerSessionClosed(quint16 Error) override;
    virtual void TriggerSocksConnected(quint16 Error);
    virtual void TriggerSocksError(int Error, const QString &Msg);

    // True while the handshake runs: the data is the proxy's, not the caller's.
    bool SocksRunning() const { return FSocksState != socksData; }

    void FailSocks(int Error, const QString &Text);
    void SendAuthentication();
    void SendConnectRequest();
    void FireSocksAuthState(TSocksAuthState State);

private:
    void ReceiveSocksReply();
    void SocksReplyDone(int Method);
    void SendSocksMessage(const QByteArray &Message);

    TSocksState FSocksState = socksData;
    QString FSocksLevel = "5";
    QString FSocksServer;
    QString FSocksPort;
    QString FSocksUsercode;
    QString FSocksPassword;
    TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
    bool FSocksServerAssigned = false;
    bool FSocksPortAssigned = false;
    int FSocksAuthNumber = 0;     // the method offered: 0 none, 2 user code and password
    quint16 FSocksDestPort = 0;   // Port, host order: where the proxy is to connect us
    QByteArray FSocksReply;       // what has arrived of the reply being read
    QString FBoundAddr;
    QString FBoundPort;
};

class TCustomLineWSocket : public TCustomSocksWSocket
{
public:
    explicit TCustomLineWSocket(QObject *AOwner = nullptr);

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);
    int LineLimit() const { return FLineLimit; }
    void SetLineLimit(int Value) { FLineLimit = Value; }
    QByteArray LineEnd() const { return FLineEnd; }
    void SetLineEnd(const QByteArray &Value) { FLineEnd = Value; }
    bool LineEcho() const { return FLineEcho; }
    void SetLineEcho(bool Value) { FLineEcho = Value; }
    bool LineEdit() const { return FLineEdit; }
    void SetLineEdit(bool Value) { FLineEdit = Value; }
    // Bytes held that no read has taken yet (a partial line, or what follows the current line).
    int HeldCount() const { return int(FRcvBuf.size()); }

    TLineLimitEvent OnLineLimitExceeded;

    // In line mode: the length of the line being delivered; otherwise what is held, else the socket's count.
    int RcvdCount() override;
    // Queues Text and sends it with LineEnd behind it; an empty text sends nothing and gives 0.
    virtual int SendTextLine(const QByteArray &Text);

protected:
    void WndProc(TMessage &Message) override;
    bool TriggerDataAvailable(quint16 Error) override;
    void TriggerSessionClosed(quint16 Error) override;
    int ReceiveBlock(void *Buffer, int BufferSize, int Flags) override;
    virtual void TriggerLineLimitExceeded(int Count, bool &ClearData);
    // Edits NewBytes (backspace, tab, echo); a backspace may take back a held byte, so the held
    // buffer can shrink. On return NewBytes holds what is to be appended.
    virtual void ApplyLineEditing(QByteArray &NewBytes);

private:
    void DeliverLines();
    void DeliverHeldRaw();
    void Redeliver();
    void Consumed(int Count);

    bool FLineMode = false;
    int FLineLimit = 65536;
    QByteArray FLineEnd = "\r\n";
    bool FLineEcho = false;
    bool FLineEdit = false;
    QByteArray FRcvBuf;     // held bytes: the line being delivered first
    int FLineLength = 0;    // bytes of the line being delivered still unread (0: none)
    int FSearchFrom = 0;    // no line end starts before this offset of FRcvBuf
    bool FLineFound = false;
};

class TCustomSyncWSocket : public TCustomLineWSocket
{
public:
    explicit TCustomSyncWSocket(QObject *AOwner = nullptr);

    // Clears DoneFlag, runs Proc and waits for DoneFlag; see WaitForFlag.
    virtual int RunAndWait(const std::function<void()> &Proc, bool &DoneFlag);
    // Runs this thread's events until DoneFlag is set (0); 12001 when the time-out passes, the
    // socket's own pump met a quit request or the application is leaving its event loop.
    virtual int WaitForFlag(bool &DoneFlag);

protected:
    int FTimeout = 0;  // milliseconds; 0 waits without end
};

class TWSocket : public TCustomSyncWSocket
{
public:
    explicit TWSocket(QObject *AOwner = nullptr) : TCustomSyncWSocket(AOwner) {}
};
