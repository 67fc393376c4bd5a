#include "core/ListConfigurationModel.h"

#include "core/JsonDecoding.h"

DecodeResult<ListConfigurationModel> ListConfigurationModel::decode(const QJsonValue& value,
                                                                    const QString& path)
{
    using Result = DecodeResult<ListConfigurationModel>;
    const DecodeResult<QJsonObject> object = JsonDecoding::object(value, path);
    if (!object)
        return Result::failure(object.error());

    ListConfigurationModel model;
    const auto field = [&](const QString& key, QString& out) -> QString {
        const DecodeResult<QJsonValue> present = JsonDecoding::required(object.value(), key, path);
        if (!present)
            return present.error();
        const DecodeResult<QString> text =
            JsonDecoding::string(present.value(), JsonDecoding::joinPath(path, key));
        if (!text)
            return text.error();
        out = text.value();
        return {};
    };
    if (QString error = field(QStringLiteral("ListType"), model.ListType); !error.isEmpty())
        return Result::failure(error);
    if (QString error = field(QStringLiteral("RelativeListPath"), model.RelativeListPath); !error.isEmpty())
        return Result::failure(error);
    return Result::success(std::move(model));
}

QJsonObject ListConfigurationModel::encode() const
{
    return QJsonObject{{QStringLiteral("ListType"), ListType},
                       {QStringLiteral("RelativeListPath"), RelativeListPath}};
}
