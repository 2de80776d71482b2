// DecideAnswer, the whole decision from an answer body to the outcome.
//
// Input: the answer body as UTF-8.

#include "fuzzcheck.h"
#include "looseval.h"
#include "resolve.h"

#include <QJsonDocument>

#include <cstddef>
#include <cstdint>

using velmora::Resolution;
using velmora::fuzz::Member;

namespace {

// Whether `text` is the text form of the JSON string or number `value`.
bool IsTextOf(const QString &text, const QJsonValue &value)
{
    if (value.isString())
        return text == value.toString();
    return value.isDouble() && text == velmora::NumberToText(value.toDouble());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString answer = velmora::fuzz::FromUtf8(data, size);
    const Resolution result = velmora::DecideAnswer(answer);

    // The answer's members as QJsonDocument reads them; missing when the
    // text is not a JSON object.
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    const QJsonValue rendata =
        doc.isObject() ? doc.object().value(QStringLiteral("Rendata")) : QJsonValue::Undefined;
    const QJsonValue songUrl = Member(rendata, QStringLiteral("songURL"));
    const QJsonValue trackName = Member(rendata, QStringLiteral("tname"));
    const bool unknownTrack = trackName.isString() && trackName.toString() == u"not_find";

    switch (result.outcome) {
    case Resolution::Outcome::Play:
        FUZZ_CHECK(result.songUrl.size() >= 6);
        FUZZ_CHECK(result.error.isEmpty());
        FUZZ_CHECK(IsTextOf(result.songUrl, songUrl));
        break;
    case Resolution::Outcome::NotFound:
        FUZZ_CHECK(unknownTrack);
        FUZZ_CHECK(result.songUrl.isEmpty());
        break;
    case Resolution::Outcome::RequestError:
        FUZZ_CHECK(!result.error.isEmpty());
        FUZZ_CHECK(result.songUrl.isEmpty());
        break;
    }

    // And the other way round: a long enough address always plays, and an
    // unknown track without one is never called a failed request.
    if (songUrl.isString() && songUrl.toString().size() >= 6)
        FUZZ_CHECK(result.outcome == Resolution::Outcome::Play);
    if (unknownTrack)
        FUZZ_CHECK(result.outcome != Resolution::Outcome::RequestError);
    return 0;
}
