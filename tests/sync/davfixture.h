#pragma once

#include "davserver.h"
#include "faultproxy.h"
#include "webdavtarget.h"

#include <memory>

// What a test of anything that syncs through WebDAV needs, in one line: a
// real Apache, a FaultProxy in front of it (passing everything until told
// otherwise) and targets on either, which retry without waiting long.
//     DavFixture dav;
//     QVERIFY2(dav.isReady(), qPrintable(dav.error()));
//     auto target = dav.target(QStringLiteral("t1"), DavFixture::ThroughProxy);
class DavFixture
{
public:
    enum Route { Direct, ThroughProxy };

    DavFixture();

    bool isReady() const { return m_server.isRunning() && m_proxy && m_proxy->port() != 0; }
    QString error() const;

    // A target on a folder of the server; the folder is made at the first write.
    std::unique_ptr<WebDavTarget> target(const QString &folder, Route route = Direct) const;
    DavServer &server() { return m_server; }
    FaultProxy &proxy() { return *m_proxy; }

    // The server's user and password, short time-outs and retries a few
    // milliseconds apart.
    static WebDavOptions quickOptions(const QString &password = DavServer::password());

private:
    DavServer m_server;
    std::unique_ptr<FaultProxy> m_proxy;
};
