#pragma once

#include "platform/XpcValue.h"

#include <QString>

// The frames of the interprocess link (docs/ipc-protocol.md). Every frame is a six-byte
// header -- kind (16 bits) and body length (32 bits), both big-endian -- and the body.
namespace XpcWire {
inline constexpr char magic[4] = {'N', 'V', 'X', 'P'};
inline constexpr quint16 protocolVersion = 1;
inline constexpr qsizetype headerLength = 6;
// A peer that announces a longer body is dropped before anything of it is read.
inline constexpr quint32 maximumBodyLength = 16u * 1024 * 1024;
inline constexpr qsizetype maximumSelectorLength = 1024;
} // namespace XpcWire

enum class XpcFrameKind : quint16
{
    Hello = 1,
    Call = 2,          // one-way
    CallWithReply = 3, // answered by a Reply with the same call id
    Reply = 4,
};

enum class XpcReplyStatus : quint8
{
    Replied = 0,
    NotHandled = 1, // the receiver dropped the call without answering
};

struct XpcFrame
{
    XpcFrameKind kind = XpcFrameKind::Hello;
    quint16 version = XpcWire::protocolVersion;      // Hello
    quint32 callId = 0;                              // CallWithReply, Reply
    QString selector;                                // Call, CallWithReply
    bool carriesDescriptor = false;                  // Call, CallWithReply: one descriptor travels with it
    XpcReplyStatus status = XpcReplyStatus::Replied; // Reply
    XpcArguments arguments;                          // Call, CallWithReply, Reply

    bool operator==(const XpcFrame& other) const = default;
};
