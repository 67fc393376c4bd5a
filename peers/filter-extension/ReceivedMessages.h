#pragma once

#include "control/IpcPayload.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>

#include <sys/types.h>

// One delivery from the application, as the control channel reports it.
struct ReceivedMessage
{
    qint16 id = -1;
    QString name; // the identifier's case name; "" for an unknown identifier
    IpcDictionary payload;
    bool hadFile = false;
    pid_t pid = 0;
    QString selector;
    bool accepted = true;
    QString rejection; // why the factory refused it

    QJsonObject toJson() const;
};

// Every delivery so far (the latest maximumCount), for the control channel. Any thread.
class ReceivedMessages
{
public:
    static constexpr qsizetype maximumCount = 10000;

    void add(ReceivedMessage message);
    QList<ReceivedMessage> all() const;
    qsizetype count() const;
    void clear();
    // Runs after each add, on the adding thread.
    void setChangeHandler(std::function<void()> handler);

private:
    mutable std::mutex m_mutex;
    std::deque<ReceivedMessage> m_messages;
    std::function<void()> m_changed;
};
