#pragma once

// Shared by the fuzz targets: the failure signal and readings of JSON values
// made with QJsonDocument alone, to hold the client's own lookup against.

#include "looseval.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

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

// Member `name` of `value`; a member of anything but an object is missing.
inline QJsonValue Member(const QJsonValue &value, const QString &name)
{
    return value.isObject() ? value.toObject().value(name) : QJsonValue(QJsonValue::Undefined);
}

// Whether `got` is what a lookup should make of `want`. A number's text is
// only required to read back as the number, as its shortest form does.
inline bool SameValue(const LooseValue &got, const QJsonValue &want)
{
    const std::optional<QString> text = got.textForm();
    switch (want.type()) {
    case QJsonValue::Undefined:
        return got.kind() == LooseValue::Kind::Empty && text == QString();
    case QJsonValue::Null:
        return got.kind() == LooseValue::Kind::Null && !text;
    case QJsonValue::Bool:
        return got.kind() == LooseValue::Kind::Boolean &&
               text == QLatin1String(want.toBool() ? "true" : "false");
    case QJsonValue::String:
        return got.kind() == LooseValue::Kind::Text && text == want.toString();
    case QJsonValue::Array:
    case QJsonValue::Object:
        return got.kind() == LooseValue::Kind::Compound && !text;
    case QJsonValue::Double:
        break;
    }
    if (got.kind() != LooseValue::Kind::Number || !text)
        return false;
    const double number = want.toDouble();
    if (std::isinf(number))
        return text == QLatin1String(number > 0 ? "Infinity" : "-Infinity");
    bool read = false;
    const double back = text->toDouble(&read);
    return read && back == number;
}

} // namespace velmora::fuzz
