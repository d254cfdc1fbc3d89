// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: small HTTP servers on 127.0.0.1 that misbehave on purpose, one per kind of misbehaviour, over files the test gives them.
//
// Usage:
//   OddServers::TOddServer portal(OddServers::TOdd::CaptivePortal);
//   OddServers::TOddServer cut(OddServers::TOdd::Http10CutShort, {{"/Setup.exe", bytes}});
//   ... request cut.Url("/Setup.exe") ..., then cut.Requests(), cut.Connections()
// A path the server holds is answered from Files (the query is ignored, as file servers do); Moves
// relocates a path with 302 to another address; anything else is 404.
#pragma once

#include "HttpPeers.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <atomic>
#include <mutex>

namespace OddServers {

enum class TOdd {
    CaptivePortal,         // every address answers 200 with a hotel's sign-in page
    HeaderLess,            // a page without status line or header, then the close (as before HTTP/1.0)
    KeepAliveThenClose,    // "Connection: keep-alive", and the connection closes right after each reply
    KeepAliveCloseOnNext,  // keeps the connection, then closes it unanswered when the next request comes
    InterimReplies,        // 102 Processing and 103 Early Hints before every reply
    NetworkPathLocation,   // every address relocates to "//" + Target + the same path
    Http10CutShort,        // HTTP/1.0 without Content-Length: half of the file, then the close
    Http10Whole,           // HTTP/1.0 without Content-Length: the whole file, then the close
};

inline const QByteArray PortalPage = "<!DOCTYPE html>\n<html><head><title>Hotel Wi-Fi</title></head>"
                                     "<body><form action=\"/login\">Room number: <input name=\"room\"></form></body></html>\n";

class TOddServer
{
public:
    explicit TOddServer(TOdd odd, QMap<QByteArray, QByteArray> files = {}, QMap<QByteArray, QByteArray> moves = {},
                        QByteArray target = {})
        : FOdd(odd), FFiles(std::move(files)), FMoves(std::move(moves)), FTarget(std::move(target)),
          FServer([this](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) { Serve(conn, s); })
    {
    }

    quint16 Port() const { return FServer.Port(); }
    QString Url(const QString &path) const { return FServer.Url(path); }
    QByteArray HostPort() const { return "127.0.0.1:" + QByteArray::number(Port()); }
    QStringList Requests() { return FServer.Requests(); }
    int Connections() const { return FConnections; }
    // Adds or replaces a file while the server runs (a file that names the server's own port).
    void Put(const QByteArray &path, const QByteArray &bytes)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FFiles.insert(path, bytes);
    }

private:
    void Serve(HttpPeers::TConnection &conn, HttpPeers::TScriptedServer &s)
    {
        ++FConnections;
        for (int onConnection = 0;; ++onConnection) {
            const QByteArray request = s.ReadAndRecord(conn);
            if (request.isEmpty())
                return;
            if (FOdd == TOdd::KeepAliveCloseOnNext && onConnection > 0)
                return;  // closed, the request unanswered
            conn.Send(Reply(Path(request)));
            if (FOdd != TOdd::KeepAliveCloseOnNext)
                return;
        }
    }

    static QByteArray Path(const QByteArray &request)
    {
        QByteArray path = request.split(' ').value(1);
        const qsizetype query = path.indexOf('?');
        return query < 0 ? path : path.left(query);
    }

    QByteArray Reply(const QByteArray &path)
    {
        switch (FOdd) {
        case TOdd::CaptivePortal:
            return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
                + QByteArray::number(PortalPage.size()) + "\r\n\r\n" + PortalPage;
        case TOdd::HeaderLess:
            return PortalPage.mid(PortalPage.indexOf("<html>"));
        case TOdd::NetworkPathLocation:
            return "HTTP/1.0 302 Found\r\nLocation: //" + FTarget + path + "\r\nContent-Length: 0\r\n\r\n";
        default:
            break;
        }
        const bool keepAlive = FOdd == TOdd::KeepAliveThenClose || FOdd == TOdd::KeepAliveCloseOnNext;
        const QByteArray connection = keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
        std::lock_guard<std::mutex> lock(FLock);
        if (FMoves.contains(path))
            return "HTTP/1.0 302 Found\r\nLocation: " + FMoves.value(path) + "\r\n" + connection + "Content-Length: 0\r\n\r\n";
        if (!FFiles.contains(path))
            return "HTTP/1.0 404 Not Found\r\n" + connection + "Content-Length: 9\r\n\r\nNot found";
        const QByteArray file = FFiles.value(path);
        switch (FOdd) {
        case TOdd::Http10CutShort:
            return "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + file.left(file.size() / 2);
        case TOdd::Http10Whole:
            return "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + file;
        case TOdd::InterimReplies:
            return "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n"
                   "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: "
                + QByteArray::number(file.size()) + "\r\n\r\n" + file;
        default:
            return "HTTP/1.0 200 OK\r\n" + connection + "Content-Length: " + QByteArray::number(file.size()) + "\r\n\r\n"
                + file;
        }
    }

    TOdd FOdd;
    QMap<QByteArray, QByteArray> FFiles, FMoves;
    QByteArray FTarget;
    std::atomic<int> FConnections{0};
    std::mutex FLock;
    HttpPeers::TScriptedServer FServer;  // last: its thread runs Serve, which reads the fields above
};

} // namespace OddServers
