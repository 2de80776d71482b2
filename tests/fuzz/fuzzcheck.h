#pragma once

// Shared by the fuzz targets: the failure signal, the input decodings and
// readings of JSON made with QJsonDocument alone, to hold the client's own
// lookup against.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// A broken invariant: say which one, then stop the way libFuzzer records.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (0)

namespace velmora::fuzz {

inline QString FromUtf8(const std::uint8_t *data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Unit by unit, so that lone surrogates, which no UTF-8 decoding yields,
// reach the code under test; an odd last byte is dropped.
inline QString FromUtf16Le(const std::uint8_t *data, std::size_t size)
{
    QString text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text += QChar(char16_t(data[i] | data[i + 1] << 8));
    return text;
}

// The document's object or array; undefined when the text is not JSON.
inline QJsonValue ParseJson(const QString &text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (doc.isNull())
        return QJsonValue::Undefined;
    return doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
}

// Member `name` of `value`; a member of anything but an object is missing.
inline QJsonValue Member(const QJsonValue &value, const QString &name)
{
    return value.isObject() ? value.toObject().value(name) : QJsonValue(QJsonValue::Undefined);
}

} // namespace velmora::fuzz
