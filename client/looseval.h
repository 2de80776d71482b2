#pragma once

#include <QString>

#include <optional>

namespace velmora {

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

    Kind kind() const { return m_kind; }
    bool isNull() const { return m_kind == Kind::Null; }

    // The text form: the text itself, a number as a script engine prints it
    // ("100", "0.1", "1e+21"), "true"/"false", the empty text for the empty
    // value. Null and compound values have none.
    std::optional<QString> textForm() const;

    // Length of the text form in UTF-16 code units; nullopt where there is none.
    std::optional<qsizetype> length() const;

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
QString NumberToText(double value);

} // namespace velmora
