// decideAnswer, the whole decision from an answer body to the outcome.
//
// Input: the answer body as UTF-8.

#include "answer.h"
#include "fuzzcheck.h"

using velmora::Resolution;
using Outcome = velmora::Resolution::Outcome;
using namespace velmora::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString answer = FromUtf8(data, size);
    const Resolution result = velmora::decideAnswer(answer);

    const QJsonValue rendata = Member(ParseJson(answer), QStringLiteral("Rendata"));
    const QJsonValue songUrl = Member(rendata, QStringLiteral("songURL"));
    const QJsonValue trackName = Member(rendata, QStringLiteral("tname"));
    const bool unknownTrack = trackName.isString() && trackName.toString() == u"not_find";

    FUZZ_CHECK(result.songUrl.isEmpty() != (result.outcome == Outcome::Play));
    FUZZ_CHECK(result.error.isEmpty() != (result.outcome == Outcome::RequestError));
    // A string address as it stands, a number's in its text form.
    if (result.outcome == Outcome::Play) {
        FUZZ_CHECK(result.songUrl.size() >= 6);
        FUZZ_CHECK(result.songUrl == (songUrl.isDouble() ? velmora::numberToText(songUrl.toDouble())
                                                         : songUrl.toString()));
    }
    if (result.outcome == Outcome::NotFound)
        FUZZ_CHECK(unknownTrack);

    // And the other way round: a long enough address always plays, and an
    // unknown track without one is never called a failed request.
    if (songUrl.isString() && songUrl.toString().size() >= 6)
        FUZZ_CHECK(result.outcome == Outcome::Play);
    if (unknownTrack)
        FUZZ_CHECK(result.outcome != Outcome::RequestError);
    return 0;
}
