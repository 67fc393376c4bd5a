#include "PeerLog.h"

#include <QDateTime>

#include <cstdio>

PeerLog& PeerLog::shared()
{
    static PeerLog* log = new PeerLog;
    return *log;
}

void PeerLog::write(const QString& line)
{
    const QString entry = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) +
                          QStringLiteral(" filter-extension: ") + line;
    const QByteArray bytes = entry.toUtf8() + '\n';
    std::function<void()> written;
    {
        std::lock_guard lock(m_mutex);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
        m_lines.push_back(entry);
        if (qsizetype(m_lines.size()) > maximumLines)
            m_lines.pop_front();
        written = m_written;
    }
    if (written)
        written();
}

void PeerLog::setWriteHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_written = std::move(handler);
}

QStringList PeerLog::lines() const
{
    std::lock_guard lock(m_mutex);
    return QStringList(m_lines.cbegin(), m_lines.cend());
}
