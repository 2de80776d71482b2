// GetJsonField on arbitrary answers and paths.
//
// Input: the dotted path, a newline, then the answer text (both UTF-8); with
// no newline the whole input is the answer and the path is empty.

#include "fuzzcheck.h"
#include "jsonfield.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <cstddef>
#include <cstdint>

using velmora::fuzz::Member;
using velmora::fuzz::SameValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf('\n');
    const QString path = newline < 0 ? QString() : QString::fromUtf8(input.first(newline));
    const QString answer = QString::fromUtf8(newline < 0 ? input : input.sliced(newline + 1));

    const velmora::JsonField field = velmora::GetJsonField(path, answer);

    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    if (doc.isNull()) {
        // Nothing is read out of a text that is not JSON.
        FUZZ_CHECK(!field.ok());
        return 0;
    }
    const QJsonValue root = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    const QStringList names = path.split(u'.');

    // One name never fails: a member of the top level is there or not.
    if (names.size() == 1) {
        FUZZ_CHECK(field.ok());
        FUZZ_CHECK(SameValue(field.value, Member(root, names[0])));
    }
    // Two names, as the answer's own are read: only a missing or null first
    // member fails.
    if (names.size() == 2) {
        const QJsonValue first = Member(root, names[0]);
        const bool broken = first.isUndefined() || first.isNull();
        FUZZ_CHECK(field.ok() != broken);
        if (field.ok())
            FUZZ_CHECK(SameValue(field.value, Member(first, names[1])));
    }
    return 0;
}
