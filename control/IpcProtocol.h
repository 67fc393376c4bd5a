#pragma once

#include "control/IpcMessage.h"
#include "platform/XpcInvocation.h"

#include <QString>

#include <optional>

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

// receiveMessageWithId:data:fileHandle: carrying the message (with its own copy of the file).
XpcInvocation deliveryOf(const IpcMessage& message);

// The identifier and payload of a delivery; an absent payload counts as empty.
struct Delivery
{
    qint16 id = 0;
    IpcDictionary dictionary;
};
// Nothing when the arguments are not an identifier and a dictionary of texts; why says which.
std::optional<Delivery> readDelivery(const XpcArguments& arguments, QString* why);
} // namespace IpcProtocol
