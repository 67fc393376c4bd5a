#pragma once

#include "control/IpcPayload.h"

#include <ostream>

// Readable failure output for payloads and texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const IpcDictionary& dictionary, std::ostream* out)
{
    *out << '{';
    for (auto it = dictionary.begin(); it != dictionary.end(); ++it)
        *out << (it == dictionary.begin() ? "" : ", ") << '"' << it.key().toStdString() << "\": \""
             << it.value().toStdString() << '"';
    *out << '}';
}
