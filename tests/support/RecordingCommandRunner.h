#pragma once

#include "platform/CommandRunner.h"

#include <QMap>
#include <QStringList>

#include <mutex>

// Records the command lines instead of running them, answering from a table of outputs.
class RecordingCommandRunner : public CommandRunner
{
public:
    QString run(const QString& commandLine, bool wait) override
    {
        std::lock_guard lock(m_mutex);
        m_commands.append(commandLine);
        return wait ? m_outputs.value(commandLine) : QString();
    }
    void answer(const QString& commandLine, const QString& output)
    {
        std::lock_guard lock(m_mutex);
        m_outputs.insert(commandLine, output);
    }
    QStringList commands() const
    {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_commands;
    QMap<QString, QString> m_outputs;
};
