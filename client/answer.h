#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace velmora {

// Answer members the programs read, and the track name of an unknown track.
inline constexpr char kSongUrlPath[] = "Rendata.songURL";
inline constexpr char kTrackNamePath[] = "Rendata.tname";
inline constexpr char kTrackNotFound[] = "not_find";

// Shortest audio address that counts as one.
inline constexpr qsizetype kMinSongUrlLength = 6;

// A value of loose type, as the resolver's answer yields it: text, number,
// boolean, the empty value (a missing member) or null. Objects and arrays
// are kept as their own kind so that no caller mistakes them for text.
class LooseValue
{
public:
    enum class Kind { Empty, Text, Number, Boolean, Null, Compound };

    LooseValue() = default; // the empty value
    static LooseValue text(QString value);
    static LooseValue number(double value);
    static LooseValue boolean(bool value);
    static LooseValue null();
    static LooseValue compound(); // a JSON object or array

    // The text form: the text itself, a number as a script engine prints it
    // ("100", "0.1", "1e+21"), "true"/"false", the empty text for the empty
    // value. Null and compound values have none.
    std::optional<QString> textForm() const;

    friend bool operator==(const LooseValue &, const LooseValue &) = default;

private:
    Kind m_kind = Kind::Empty;
    QString m_text;
    double m_number = 0;
    bool m_boolean = false;
};

// The shortest decimal text that reads back as `value`, in plain notation
// from 1e-7 up to below 1e21 and in exponent form outside, as JavaScript's
// Number#toString prints it.
QString numberToText(double value);

// The outcome of a lookup: a value, or why there is none.
struct JsonField
{
    LooseValue value; // meaningful only when ok()
    QString error;    // empty on success

    bool ok() const { return error.isEmpty(); }
};

// Reads the member at a dotted path ("Rendata.songURL") out of a JSON text.
// The text is parsed as strict JSON and never run. Results:
//   string, number, boolean, null      -> that value (escapes decoded)
//   object or array                    -> a compound value (no text form)
//   last member missing                -> the empty value
//   a member before the last holds a
//   string, number or boolean          -> the empty value
//   a member before the last missing
//   or null, or the text not JSON      -> an error
// Member names are case-sensitive; of duplicate keys the last one wins.
JsonField GetJsonField(const QString &path, const QString &jsonText);

// What one track's answer came to.
struct Resolution
{
    enum class Outcome {
        Play,         // songUrl holds the audio address
        NotFound,     // the service does not know the track
        RequestError, // anything else; error says why
    };

    Outcome outcome = Outcome::RequestError;
    QString songUrl;
    QString trackName; // text form of the track name, where the answer has one
    QString error;     // readable cause, for RequestError
};

// The decision from an answer's text alone, parsed once: an audio address of
// at least six characters plays; otherwise the track name "not_find" means
// unknown and everything else (no JSON, no Rendata, another name) is a
// request error. A null, object or array audio address counts as none.
Resolution decideAnswer(const QString &answerText);

// The audio address as something the programs may open: an http or https
// URL that names a host, taken exactly as the answer wrote it. Anything else
// (a local file or path, another scheme, a relative address, surrounding
// white space) gives nullopt, since whoever controls an answer must not
// reach past the network with it.
std::optional<QUrl> webAudioUrl(const QString &songUrl);

// Whether an audio server's HTTP status says the address has expired (401,
// 403 or 410, as signed addresses are refused once they have): the track is
// then resolved again for a new one. The save and the player both ask here.
bool isExpiredAddressStatus(int httpStatus);

// A track's name as a listener sees it, in a file name or a status line:
// the answer's own, and none for the service's "not_find".
QString shownTrackName(const QString &trackName);

// The address a resolve gives the programs to open: its audio address when it
// plays and is a web address; nullopt otherwise. Whatever opens, saves or
// prints an address as resolved asks here.
std::optional<QUrl> playableUrl(const Resolution &result);

} // namespace velmora
