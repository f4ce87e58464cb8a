#include "davfixture.h"

using namespace std::chrono_literals;

DavFixture::DavFixture()
{
    if (m_server.isRunning())
        m_proxy = std::make_unique<FaultProxy>(m_server.port());
}

QString DavFixture::error() const
{
    return m_server.isRunning() ? QStringLiteral("The fault proxy does not listen") : m_server.error();
}

std::unique_ptr<WebDavTarget> DavFixture::target(const QString &folder, Route route) const
{
    return std::make_unique<WebDavTarget>(route == ThroughProxy ? m_proxy->address(folder) : m_server.address(folder),
                                          quickOptions());
}

WebDavOptions DavFixture::quickOptions(const QString &password)
{
    WebDavOptions options;
    options.user = DavServer::user();
    options.password = password;
    options.connectTimeout = 3s;
    options.lowSpeedTime = 5s;
    options.retryDelays = {1ms, 2ms, 4ms, 8ms, 16ms};
    return options;
}
