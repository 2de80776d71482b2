#include "looseval.h"

#include <array>
#include <charconv>
#include <cmath>

namespace velmora {

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
        return NumberToText(m_number);
    case Kind::Boolean:
        return m_boolean ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Null:
    case Kind::Compound:
        break;
    }
    return std::nullopt;
}

std::optional<qsizetype> LooseValue::length() const
{
    if (const auto text = textForm())
        return text->size();
    return std::nullopt;
}

QString NumberToText(double value)
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

} // namespace velmora
