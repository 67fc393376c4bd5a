#pragma once

#include "platform/AppcastItem.h"

#include <QList>

// The items of an update feed, in feed order.
struct Appcast
{
    QList<AppcastItem> items;
};
