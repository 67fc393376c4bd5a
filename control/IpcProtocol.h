#pragma once

#include <QString>

// The interface both ends of the link export and call. Arguments on the wire
// (docs/ipc-protocol.md):
// - receiveMessageWithId:data:fileHandle: (one-way): int16 identifier, a text-to-text
//   dictionary (or null), and at most one file descriptor travelling with the frame;
// - sendMessageWithMessage:completionHandler: the same three, answered by one bool;
// - register: no arguments, answered by one bool.
namespace IpcProtocol {
inline const QString sendMessageSelector = QStringLiteral("sendMessageWithMessage:completionHandler:");
inline const QString receiveMessageSelector = QStringLiteral("receiveMessageWithId:data:fileHandle:");
inline const QString registerSelector = QStringLiteral("register:");
} // namespace IpcProtocol
