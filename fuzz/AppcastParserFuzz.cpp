// The update feed's reader against arbitrary bytes (the feed comes from the network).
// Besides not crashing: every item it returns keeps its enclosure attributes as text, and
// the enclosure's typed fields agree with them.
#include "platform/AppcastParser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray document(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<Appcast> appcast = AppcastParser::parse(document, &error);
    if (!appcast) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    for (const AppcastItem& item : appcast->items) {
        const QVariant enclosure = item.propertiesDictionary().value(QStringLiteral("enclosure"));
        if (!enclosure.isValid()) {
            if (item.hasEnclosure() || !item.edSignature.isEmpty())
                std::abort();
            continue;
        }
        const QVariantMap attributes = enclosure.toMap();
        for (const QVariant& value : attributes)
            if (value.typeId() != QMetaType::QString)
                std::abort();
        if (item.edSignature != attributes.value(QStringLiteral("sparkle:edSignature")).toString().trimmed())
            std::abort();
    }
    return 0;
}
