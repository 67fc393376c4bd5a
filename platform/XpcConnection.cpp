#include "platform/XpcConnection.h"

#include "platform/XpcConnectionCore.h"

XpcConnection::XpcConnection(const QString& serviceName) : m_core(XpcConnectionCore::client(serviceName)) {}

XpcConnection::XpcConnection(std::shared_ptr<XpcConnectionCore> core) : m_core(std::move(core)) {}

XpcConnection::~XpcConnection()
{
    m_core->invalidate();
}

QString XpcConnection::serviceName() const
{
    return m_core->serviceName();
}

pid_t XpcConnection::processIdentifier() const
{
    return m_core->processIdentifier();
}

void XpcConnection::setExportedHandler(XpcExportedHandler handler)
{
    m_core->setExportedHandler(std::move(handler));
}

void XpcConnection::setInterruptionHandler(std::function<void()> handler)
{
    m_core->setInterruptionHandler(std::move(handler));
}

void XpcConnection::setInvalidationHandler(std::function<void()> handler)
{
    m_core->setInvalidationHandler(std::move(handler));
}

void XpcConnection::resume()
{
    m_core->resume();
}

void XpcConnection::invalidate()
{
    m_core->invalidate();
}

bool XpcConnection::waitForInvalidated(std::chrono::milliseconds timeout)
{
    return XpcConnectionCore::waitForInvalidated(timeout);
}

void XpcConnection::call(XpcInvocation invocation, XpcErrorHandler errorHandler)
{
    m_core->call(std::move(invocation), nullptr, std::move(errorHandler));
}

void XpcConnection::call(XpcInvocation invocation, XpcReplyHandler replyHandler, XpcErrorHandler errorHandler)
{
    if (!replyHandler)
        replyHandler = [](const XpcArguments&) {};
    m_core->call(std::move(invocation), std::move(replyHandler), std::move(errorHandler));
}
