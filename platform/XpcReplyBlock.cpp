#include "platform/XpcReplyBlock.h"

#include "platform/XpcConnectionCore.h"

#include <atomic>

struct XpcReplyBlock::State
{
    std::weak_ptr<XpcConnectionCore> core;
    quint32 callId = 0;
    QString selector;
    std::atomic<bool> answered{false};

    ~State()
    {
        if (answered.load())
            return;
        if (const auto connection = core.lock())
            connection->sendReply(callId, XpcReplyStatus::NotHandled, {}, selector);
    }
};

XpcReplyBlock::XpcReplyBlock(const std::shared_ptr<XpcConnectionCore>& core, quint32 callId,
                             const QString& selector)
    : m_state(std::make_shared<State>())
{
    m_state->core = core;
    m_state->callId = callId;
    m_state->selector = selector;
}

void XpcReplyBlock::operator()(const XpcArguments& arguments) const
{
    if (!m_state)
        return;
    const auto connection = m_state->core.lock();
    if (m_state->answered.exchange(true)) {
        if (connection)
            connection->report(QStringLiteral("the reply to %1 was sent twice; the second is ignored")
                                   .arg(m_state->selector));
        return;
    }
    if (connection)
        connection->sendReply(m_state->callId, XpcReplyStatus::Replied, arguments, m_state->selector);
}
