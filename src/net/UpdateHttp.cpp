// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window's HTTP client over THttpCli.
#include "net/UpdateHttp.h"

#include "net/HttpProt.h"

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

    bool Get(const QString &url, QIODevice *stream, QString *error) override
    {
        if (Http.State() != httpReady) {
            if (error)
                *error = QStringLiteral("HTTP component %1 is busy").arg(Http.objectName());
            return false;
        }
        Http.SetURL(url);
        Http.SetReceiveStream(stream);
        try {
            Http.Get();
        } catch (const EHttpException &e) {
            Http.SetReceiveStream(nullptr);
            if (error)
                *error = e.Message();
            return false;
        } catch (const std::exception &e) {
            Http.SetReceiveStream(nullptr);
            if (error)
                *error = QString::fromLocal8Bit(e.what());
            return false;
        }
        Http.SetReceiveStream(nullptr);
        // Only a whole document of a successful reply is one: a 401 or 407 page, a relocation reply
        // or a body shorter than announced would otherwise be saved as the update.
        const int status = Http.FStatusCode;
        const qint64 length = Http.ContentLength();
        if (status < 200 || status > 299 || Http.RequestDoneError() != 0 ||
            (length >= 0 && Http.ReceivedBytes() != length)) {
            if (error)
                *error = QStringLiteral("%1 %2").arg(status).arg(Http.StatusText());
            return false;
        }
        return true;
    }

    void Abort() override { Http.Abort(); }
    bool Busy() const override { return Http.State() != httpReady; }
    qint64 ContentLength() const override { return Http.ContentLength(); }
    qint64 ReceivedBytes() const override { return Http.ReceivedBytes(); }

private:
    THttpCli Http;
};

} // namespace

std::unique_ptr<UpdateInfo::TUpdateHttp> CreateClient() { return std::make_unique<THttpCliUpdate>(); }

} // namespace UpdateHttp
