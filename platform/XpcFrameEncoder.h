#pragma once

#include "platform/XpcFrame.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Writes frames (header and body) in the link's wire format.
namespace XpcFrameEncoder {
// The whole frame; nothing (with the reason in *error) when it breaks a rule of the format:
// a body over the size cap, an empty or too long selector, a nested dictionary, a reply
// without a call id or a NotHandled reply with arguments.
std::optional<QByteArray> encode(const XpcFrame& frame, QString* error = nullptr);
// The opening frame of each side.
QByteArray hello(quint16 version = XpcWire::protocolVersion);
// A header as it would go on the wire, for any kind and length (tests and tools).
QByteArray header(quint16 kind, quint32 bodyLength);
} // namespace XpcFrameEncoder
