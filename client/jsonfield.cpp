#include "jsonfield.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace velmora {

namespace {

LooseValue toLoose(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return LooseValue::null();
    case QJsonValue::Bool:
        return LooseValue::boolean(value.toBool());
    case QJsonValue::Double:
        return LooseValue::number(value.toDouble());
    case QJsonValue::String:
        return LooseValue::text(value.toString());
    case QJsonValue::Array:
    case QJsonValue::Object:
        return LooseValue::compound();
    case QJsonValue::Undefined:
        break;
    }
    return LooseValue();
}

JsonField failure(QString why)
{
    return JsonField{LooseValue(), std::move(why)};
}

} // namespace

JsonField GetJsonField(const QString &path, const QString &jsonText)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(jsonText.toUtf8(), &parseError);
    if (doc.isNull()) {
        return failure(jsonText.trimmed().isEmpty()
                           ? QStringLiteral("the answer is empty")
                           : QStringLiteral("the answer is not JSON (%1 at offset %2)")
                                 .arg(parseError.errorString())
                                 .arg(parseError.offset));
    }

    QJsonValue current = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    QString walked;
    for (const QString &name : path.split(u'.')) {
        // Selecting a member of nothing is the one failure of the walk; a
        // member of a string, number or boolean is simply not there.
        if (current.isUndefined() || current.isNull()) {
            return failure(QStringLiteral("the answer has no %1")
                               .arg(walked.isEmpty() ? QStringLiteral("members") : walked));
        }
        current = current.isObject() ? current.toObject().value(name) : QJsonValue::Undefined;
        walked += (walked.isEmpty() ? QString() : QStringLiteral(".")) + name;
    }
    return JsonField{toLoose(current), QString()};
}

} // namespace velmora
