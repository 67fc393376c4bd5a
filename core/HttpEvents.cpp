#include "core/HttpEvents.h"

HttpEvents* HttpEvents::shared()
{
    // Never destroyed: observers may still disconnect while the process exits.
    static HttpEvents* instance = new HttpEvents;
    return instance;
}
