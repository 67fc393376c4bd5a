#pragma once

#include "control/IpcMessage.h"
#include "platform/XpcConnection.h"

#include <atomic>
#include <memory>

class AppConnections;

// Sends messages to the application the way it expects them: one
// receiveMessageWithId:data:fileHandle: call each, with the message's file when it has one.
namespace MessageSender {

// The call for message; its file is duplicated, so the message keeps its own.
XpcInvocation invocation(const IpcMessage& message);
// One-way; a failure is logged.
void send(XpcConnection& connection, const IpcMessage& message);
// To every open connection; how many there were.
int sendToAll(const AppConnections& connections, const IpcMessage& message);
// The same message (one without a file) count times to every open connection, as fast as
// the link takes them, until stop is set; a failing connection is logged once. How many
// connections there were.
int sendRepeatedly(const AppConnections& connections, const IpcMessage& message, qint64 count,
                   const std::atomic<bool>& stop);

} // namespace MessageSender
