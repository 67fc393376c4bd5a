#pragma once

#include "core/DecodeResult.h"

#include <QJsonObject>
#include <QString>

// One filter list the server configured for this device. Both keys are required.
struct ListConfigurationModel
{
    QString ListType;
    QString RelativeListPath;

    static DecodeResult<ListConfigurationModel> decode(const QJsonValue& value, const QString& path = {});
    QJsonObject encode() const;

    bool operator==(const ListConfigurationModel&) const = default;
};
