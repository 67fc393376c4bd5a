#pragma once

#include <QString>

#include <cassert>
#include <optional>
#include <utility>

// The outcome of decoding a document: the value, or a text saying what was wrong and
// where, so that the caller can log why it kept its previous state.
template <typename T> class DecodeResult
{
public:
    static DecodeResult success(T value)
    {
        DecodeResult result;
        result.m_value.emplace(std::move(value));
        return result;
    }

    static DecodeResult failure(QString error)
    {
        DecodeResult result;
        result.m_error = std::move(error);
        return result;
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T& value() const&
    {
        assert(ok());
        return *m_value;
    }
    T&& value() &&
    {
        assert(ok());
        return std::move(*m_value);
    }
    const T* operator->() const { return &value(); }

    // Empty on success.
    const QString& error() const { return m_error; }

private:
    DecodeResult() = default;

    std::optional<T> m_value;
    QString m_error;
};
