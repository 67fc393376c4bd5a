#include "control/UpdateMessage.h"

IpcMessageId UpdateMessage::id() const
{
    return IpcMessageId::update;
}
