#include "answer.h"

#include "causes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <array>
#include <charconv>
#include <cmath>

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

// The document, or why the text is none.
std::optional<QJsonDocument> parse(const QString &jsonText, QString *error)
{
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(jsonText.toUtf8(), &parseError);
    if (!doc.isNull())
        return doc;
    *error =
        jsonText.trimmed().isEmpty()
            ? causes::text(causes::kEmptyAnswer)
            : causes::text(causes::kNotJson).arg(parseError.errorString()).arg(parseError.offset);
    return std::nullopt;
}

JsonField lookUp(const QJsonDocument &doc, const QString &path)
{
    QJsonValue current = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    QString walked;
    for (const QString &name : path.split(u'.')) {
        // Selecting a member of nothing is the one failure of the walk; a
        // member of a string, number or boolean is simply not there.
        if (current.isUndefined() || current.isNull()) {
            return failure(walked.isEmpty() ? causes::text(causes::kNoMembers)
                                            : causes::text(causes::kNoMember).arg(walked));
        }
        current = current.isObject() ? current.toObject().value(name) : QJsonValue::Undefined;
        walked += (walked.isEmpty() ? QString() : QStringLiteral(".")) + name;
    }
    return JsonField{toLoose(current), QString()};
}

} // namespace

LooseValue LooseValue::text(QString value)
{
    LooseValue v;
    v.m_kind = Kind::Text;
    v.m_text = std::move(value);
    return v;
}

LooseValue LooseValue::number(double value)
{
    LooseValue v;
    v.m_kind = Kind::Number;
    v.m_number = value;
    return v;
}

LooseValue LooseValue::boolean(bool value)
{
    LooseValue v;
    v.m_kind = Kind::Boolean;
    v.m_boolean = value;
    return v;
}

LooseValue LooseValue::null()
{
    LooseValue v;
    v.m_kind = Kind::Null;
    return v;
}

LooseValue LooseValue::compound()
{
    LooseValue v;
    v.m_kind = Kind::Compound;
    return v;
}

std::optional<QString> LooseValue::textForm() const
{
    switch (m_kind) {
    case Kind::Empty:
        return QString();
    case Kind::Text:
        return m_text;
    case Kind::Number:
        return numberToText(m_number);
    case Kind::Boolean:
        return m_boolean ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Null:
    case Kind::Compound:
        break;
    }
    return std::nullopt;
}

QString numberToText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (value == 0)
        return QStringLiteral("0"); // -0 prints as 0 too

    // Shortest round-trip digits, then laid out by the script-engine rule:
    // value = 0.d1d2...dk * 10^n.
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                   std::chars_format::scientific);
    const std::string_view sci(buf.data(), res.ptr - buf.data()); // "d.ddde+XX"
    const auto ePos = sci.find('e');
    std::string digits;
    for (const char c : sci.substr(0, ePos))
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int exp10 = 0;
    std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(),
                    exp10);
    const int k = int(digits.size());
    const int n = exp10 + 1;

    std::string out = value < 0 ? "-" : "";
    if (k <= n && n <= 21) {
        out += digits + std::string(n - k, '0');
    } else if (0 < n && n <= 21) {
        out += digits.substr(0, n) + '.' + digits.substr(n);
    } else if (-6 < n && n <= 0) {
        out += "0." + std::string(-n, '0') + digits;
    } else {
        out += digits.substr(0, 1);
        if (k > 1)
            out += '.' + digits.substr(1);
        out += 'e';
        out += n - 1 >= 0 ? '+' : '-';
        out += std::to_string(std::abs(n - 1));
    }
    return QString::fromLatin1(out);
}

JsonField GetJsonField(const QString &path, const QString &jsonText)
{
    QString error;
    const std::optional<QJsonDocument> doc = parse(jsonText, &error);
    return doc ? lookUp(*doc, path) : failure(error);
}

Resolution decideAnswer(const QString &answerText)
{
    Resolution result;
    const std::optional<QJsonDocument> doc = parse(answerText, &result.error);
    if (!doc)
        return result;
    const JsonField song = lookUp(*doc, QString::fromLatin1(kSongUrlPath));
    if (!song.ok()) {
        result.error = song.error;
        return result;
    }
    const JsonField name = lookUp(*doc, QString::fromLatin1(kTrackNamePath));
    const std::optional<QString> trackName =
        name.ok() ? name.value.textForm() : std::optional<QString>();
    result.trackName = trackName.value_or(QString());

    // Null, objects and arrays have no text form: no audio address.
    const std::optional<QString> songUrl = song.value.textForm();
    if (songUrl && songUrl->size() >= kMinSongUrlLength) {
        result.outcome = Resolution::Outcome::Play;
        result.songUrl = *songUrl;
    } else if (!name.ok()) {
        result.error = name.error;
    } else if (trackName == QLatin1String(kTrackNotFound)) {
        result.outcome = Resolution::Outcome::NotFound;
    } else {
        // An empty name is no name: never a cause that quotes nothing.
        result.error = trackName && !trackName->isEmpty()
                           ? causes::text(causes::kNoAudioAddress).arg(*trackName)
                           : causes::text(causes::kNothingUsable);
    }
    return result;
}

std::optional<QUrl> webAudioUrl(const QString &songUrl)
{
    const QUrl url(songUrl, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (songUrl.trimmed() != songUrl || !url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

std::optional<QUrl> playableUrl(const Resolution &result)
{
    if (result.outcome != Resolution::Outcome::Play)
        return std::nullopt;
    return webAudioUrl(result.songUrl);
}

bool isExpiredAddressStatus(int httpStatus)
{
    return httpStatus == 401 || httpStatus == 403 || httpStatus == 410;
}

QString shownTrackName(const QString &trackName)
{
    return trackName == QLatin1String(kTrackNotFound) ? QString() : trackName;
}

} // namespace velmora
