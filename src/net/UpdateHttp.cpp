// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window's HTTP client over THttpCli, and why a download failed in words a user can act on.
#include "net/UpdateHttp.h"

#include "net/HttpProt.h"
#include "platform/CodePage.h"

#include <exception>

namespace UpdateHttp {

namespace {

class THttpCliUpdate final : public UpdateInfo::TUpdateHttp
{
public:
    THttpCliUpdate()
    {
        Http.setObjectName(QStringLiteral("Http"));
        Http.SetAgent(QStringLiteral("Mozilla/3.0 (compatible)"));
        Http.SetRequestVer(QStringLiteral("1.0"));
        Http.SetFollowRelocation(true);
        Http.SetLocationChangeMaxCount(5);
        Http.SetOptions({});
        Http.SetCodePage(AnsiCodePage());
        Http.OnDocData = [this](QObject *, const char *, int) {
            if (OnDocData)
                OnDocData();
        };
    }

    void SetProxy(const QString &server, const QString &port, const QString &username, const QString &password) override
    {
        Http.SetProxy(server);
        Http.SetProxyPort(port);
        Http.SetProxyUsername(username);
        Http.SetProxyPassword(password);
    }

    bool Get(const QString &url, QIODevice *stream, const UpdateInfo::TGetLimits &limits, QString *error) override
    {
        if (Http.State() != httpReady) {
            if (error)
                *error = QStringLiteral("HTTP component %1 is busy").arg(Http.objectName());
            return false;
        }
        Http.SetURL(url);
        Http.SetReceiveStream(stream);
        Http.SetMaxDocumentSize(limits.MaxBytes);
        Http.SetRequestTimeout(limits.MaxMilliseconds);
        QString why;
        int code = 0;
        try {
            Http.Get();
        } catch (const EHttpException &e) {
            why = e.Message();
            code = e.ErrorCode();
        } catch (const std::exception &e) {
            why = QString::fromLocal8Bit(e.what());
        }
        Http.SetReceiveStream(nullptr);
        // Only a whole document of a successful reply is one: a 401 or 407 page, a relocation reply
        // or a body shorter than announced would otherwise be saved as the update.
        const int status = Http.FStatusCode;
        const qint64 length = Http.ContentLength();
        const bool success = status >= 200 && status <= 299;
        const bool whole = length < 0 || Http.ReceivedBytes() == length;
        if (why.isEmpty() && success && Http.RequestDoneError() == 0 && whole)
            return true;
        // The server's own answer names its status; the client's failures have only their text.
        const bool serverSaidNo = Http.RequestDoneError() == 0 && !success && status > 0 && (why.isEmpty() || code == status);
        if (error) {
            if (serverSaidNo)
                *error = QStringLiteral("The %1 answered %2 %3")
                             .arg(status == 407 ? QStringLiteral("proxy") : QStringLiteral("server"))
                             .arg(status)
                             .arg(Http.StatusText())
                             .trimmed();
            else if (!why.isEmpty())
                *error = why;
            else if (!whole)
                *error = QStringLiteral("%1 of %2 bytes arrived").arg(Http.ReceivedBytes()).arg(length);
            else if (status == 0)
                *error = QStringLiteral("The server sent a page without an HTTP reply header (no status line).");
            else
                *error = Http.StatusText();
        }
        return false;
    }

    void Abort() override { Http.Abort(); }
    bool Busy() const override { return Http.State() != httpReady; }
    qint64 ContentLength() const override { return Http.ContentLength(); }
    qint64 ReceivedBytes() const override { return Http.ReceivedBytes(); }
    UpdateInfo::TReplyFacts Facts() const override
    {
        UpdateInfo::TReplyFacts facts;
        facts.LengthKnown = Http.ContentLength() >= 0 || Http.TransferEncoding() == u"chunked";
        facts.FinalAddress = Http.Location();
        const QString name = QStringLiteral("content-disposition:");
        for (const QString &line : Http.ReplyHeaders())
            if (line.startsWith(name, Qt::CaseInsensitive))
                facts.ContentDisposition = line.mid(name.size()).trimmed();
        return facts;
    }

private:
    THttpCli Http;
};

} // namespace

std::unique_ptr<UpdateInfo::TUpdateHttp> CreateClient() { return std::make_unique<THttpCliUpdate>(); }

} // namespace UpdateHttp
