#pragma once

#include "platform/Appcast.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Reads an RSS 2.0 appcast with the update namespace
// (xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"). Items without an
// enclosure are kept (they may carry only release information). A document that is not
// well-formed RSS gives nothing and the reason in errorText.
namespace AppcastParser {
// Larger feeds are refused before parsing.
inline constexpr qint64 maximumFeedSize = 4 * 1024 * 1024;

std::optional<Appcast> parse(const QByteArray& document, QString* errorText = nullptr);
} // namespace AppcastParser
