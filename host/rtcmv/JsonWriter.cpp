// JSON values and string escaping.
#include "JsonWriter.h"

#include <cmath>

void JsonWriter::escaped(unsigned int c)
{
    static const char hex[] = "0123456789abcdef";
    switch (c) {
    case '"': m_out << "\\\""; return;
    case '\\': m_out << "\\\\"; return;
    case '\n': m_out << "\\n"; return;
    case '\r': m_out << "\\r"; return;
    case '\t': m_out << "\\t"; return;
    case '\b': m_out << "\\b"; return;
    case '\f': m_out << "\\f"; return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        const char text[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
        m_out.append(text, sizeof text);
    } else {
        m_out << char(c);
    }
}

void JsonWriter::write(double number)
{
    if (!std::isfinite(number)) {
        m_out << "null";
        return;
    }
    m_out << number;
}

JsonWriter &JsonWriter::value(const QString &text)
{
    separated() << '"';
    const QByteArray utf8 = text.toUtf8(); // unpaired surrogates become U+FFFD: always valid UTF-8
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80)
            m_out << ch;
        else
            escaped(c);
    }
    m_out << '"';
    return *this;
}

JsonWriter &JsonWriter::latin1(const char *characters, unsigned int count)
{
    separated() << '"';
    for (unsigned int i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(characters[i]);
        if (c >= 0x80) // U+0080..U+00FF in two UTF-8 bytes
            m_out << char(0xC0 | (c >> 6)) << char(0x80 | (c & 0x3F));
        else
            escaped(c);
    }
    m_out << '"';
    return *this;
}
