#include "ReceivedMessages.h"

QJsonObject ReceivedMessage::toJson() const
{
    QJsonObject payloadObject;
    for (auto entry = payload.cbegin(); entry != payload.cend(); ++entry)
        payloadObject.insert(entry.key(), entry.value());
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("payload"), payloadObject},
        {QStringLiteral("file"), hadFile},
        {QStringLiteral("pid"), qint64(pid)},
        {QStringLiteral("selector"), selector},
        {QStringLiteral("accepted"), accepted},
    };
    if (!accepted)
        object.insert(QStringLiteral("rejection"), rejection);
    return object;
}

void ReceivedMessages::add(ReceivedMessage message)
{
    std::function<void()> changed;
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(std::move(message));
        if (qsizetype(m_messages.size()) > maximumCount)
            m_messages.pop_front();
        changed = m_changed;
    }
    if (changed)
        changed();
}

QList<ReceivedMessage> ReceivedMessages::all() const
{
    std::lock_guard lock(m_mutex);
    return QList<ReceivedMessage>(m_messages.cbegin(), m_messages.cend());
}

qsizetype ReceivedMessages::count() const
{
    std::lock_guard lock(m_mutex);
    return qsizetype(m_messages.size());
}

void ReceivedMessages::clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

void ReceivedMessages::setChangeHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_changed = std::move(handler);
}
