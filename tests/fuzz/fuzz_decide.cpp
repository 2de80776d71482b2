// decideAnswer, the whole decision from an answer body to the outcome.
//
// Input: the answer body as UTF-8.

#include "answer.h"
#include "fuzzcheck.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using Outcome = velmora::Resolution::Outcome;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString answer = QString::fromUtf8(QByteArrayView(data, qsizetype(size)));
    const velmora::Resolution result = velmora::decideAnswer(answer);

    // Held against QJsonDocument's reading: a member of anything but an
    // object is missing, and toString() is empty for anything but a string.
    const QJsonObject rendata =
        QJsonDocument::fromJson(answer.toUtf8()).object().value(u"Rendata").toObject();
    const QJsonValue songUrl = rendata.value(u"songURL");
    const bool unknownTrack = rendata.value(u"tname").toString() == u"not_find";

    FUZZ_CHECK(result.songUrl.isEmpty() != (result.outcome == Outcome::Play));
    FUZZ_CHECK(result.error.isEmpty() != (result.outcome == Outcome::RequestError));
    // A string address as it stands; a number's as a text that reads back
    // as the number (infinity aside, which only an overflowing literal gives).
    if (result.outcome == Outcome::Play) {
        FUZZ_CHECK(result.songUrl.size() >= 6);
        const double number = songUrl.toDouble();
        FUZZ_CHECK(songUrl.isDouble() ? std::isinf(number) || result.songUrl.toDouble() == number
                                      : result.songUrl == songUrl.toString());
    }
    FUZZ_CHECK(result.outcome != Outcome::NotFound || unknownTrack);

    // And the other way round: a long enough address always plays, and an
    // unknown track without one is never called a failed request.
    FUZZ_CHECK(!songUrl.isString() || songUrl.toString().size() < 6 ||
               result.outcome == Outcome::Play);
    FUZZ_CHECK(!unknownTrack || result.outcome != Outcome::RequestError);
    return 0;
}
