#pragma once

#include "platform/XpcFileDescriptor.h"
#include "platform/XpcValue.h"

#include <QString>

// One call across the interprocess link: the method's selector (for example
// "receiveMessageWithId:data:fileHandle:"), its arguments and at most one open file.
// On sending, the link takes the descriptor over; on receipt, the handler owns it.
struct XpcInvocation
{
    QString selector;
    XpcArguments arguments;
    XpcFileDescriptor fileDescriptor;
};
