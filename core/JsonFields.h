#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// Small helpers for decoding JSON reply records.
namespace JsonFields {
// The top-level object of a JSON document; nothing (and the problem) when it is not one.
std::optional<QJsonObject> object(const QByteArray& json, QString* problem);
// An optional text member: absent or null gives nothing; any other non-text fails.
bool optionalString(const QJsonObject& object, const QString& key, std::optional<QString>& out,
                    QString* problem);
} // namespace JsonFields
