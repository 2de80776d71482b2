// GetJsonField on arbitrary answers and paths.
//
// Input: the dotted path, a newline, then the answer text (both UTF-8); with
// no newline the whole input is the answer and the path is empty.

#include "answer.h"
#include "fuzzcheck.h"

#include <QStringList>

#include <cmath>
#include <optional>

using velmora::LooseValue;
using namespace velmora::fuzz;

// Whether `got` is what a lookup should make of `want`. A number's text is
// only required to read back as the number, as its shortest form does.
static bool SameValue(const LooseValue &got, const QJsonValue &want)
{
    using Kind = LooseValue::Kind;
    const std::optional<QString> text = got.textForm();
    switch (want.type()) {
    case QJsonValue::Undefined:
        return got.kind() == Kind::Empty && text == QString();
    case QJsonValue::Null:
        return got.kind() == Kind::Null && !text;
    case QJsonValue::Bool:
        return got.kind() == Kind::Boolean &&
               text == QLatin1String(want.toBool() ? "true" : "false");
    case QJsonValue::String:
        return got.kind() == Kind::Text && text == want.toString();
    case QJsonValue::Array:
    case QJsonValue::Object:
        return got.kind() == Kind::Compound && !text;
    case QJsonValue::Double:
        break;
    }
    const double number = want.toDouble();
    if (got.kind() != Kind::Number || !text)
        return false;
    if (std::isinf(number))
        return text == QLatin1String(number > 0 ? "Infinity" : "-Infinity");
    bool read = false;
    return text->toDouble(&read) == number && read;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(data, qsizetype(size));
    const qsizetype newline = input.indexOf('\n');
    const QString path = newline < 0 ? QString() : QString::fromUtf8(input.first(newline));
    const QString answer = QString::fromUtf8(newline < 0 ? input : input.sliced(newline + 1));

    const velmora::JsonField field = velmora::GetJsonField(path, answer);
    const QJsonValue root = ParseJson(answer);
    const QStringList names = path.split(u'.');

    // Nothing is read out of a text that is not JSON.
    FUZZ_CHECK(!root.isUndefined() || !field.ok());
    if (names.size() > 2)
        return 0;
    // Of one or two names, as the answer's own are read, only a missing or
    // null first member fails: a member of the top level is there or not.
    const QJsonValue parent = names.size() == 1 ? root : Member(root, names[0]);
    FUZZ_CHECK(field.ok() != (parent.isUndefined() || parent.isNull()));
    FUZZ_CHECK(!field.ok() || SameValue(field.value, Member(parent, names.back())));
    return 0;
}
