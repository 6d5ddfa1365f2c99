// Buffered output and JSON text helpers.
#include "Output.h"

#include <charconv>
#include <cmath>

Output &Output::operator<<(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return append(utf8.constData(), std::size_t(utf8.size()));
}

Output &Output::operator<<(long long value)
{
    reserve(24);
    char *at = m_buffer.data() + m_size;
    m_size += std::size_t(std::to_chars(at, at + 24, value).ptr - at);
    return *this;
}

Output &Output::operator<<(unsigned long long value)
{
    reserve(24);
    char *at = m_buffer.data() + m_size;
    m_size += std::size_t(std::to_chars(at, at + 24, value).ptr - at);
    return *this;
}

void Output::escaped(unsigned int c)
{
    static const char hex[] = "0123456789abcdef";
    switch (c) {
    case '"': *this << "\\\""; return;
    case '\\': *this << "\\\\"; return;
    case '\n': *this << "\\n"; return;
    case '\r': *this << "\\r"; return;
    case '\t': *this << "\\t"; return;
    case '\b': *this << "\\b"; return;
    case '\f': *this << "\\f"; return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        const char text[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
        append(text, sizeof text);
    } else {
        *this << char(c);
    }
}

void Output::jsonString(const QString &text)
{
    *this << '"';
    const QByteArray utf8 = text.toUtf8(); // unpaired surrogates become U+FFFD: always valid UTF-8
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80)
            *this << ch;
        else
            escaped(c);
    }
    *this << '"';
}

void Output::jsonLatin1(const char *characters, unsigned int count)
{
    *this << '"';
    for (unsigned int i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(characters[i]);
        if (c >= 0x80) { // U+0080..U+00FF in two UTF-8 bytes
            *this << char(0xC0 | (c >> 6)) << char(0x80 | (c & 0x3F));
        } else {
            escaped(c);
        }
    }
    *this << '"';
}

void Output::jsonDouble(double value)
{
    if (!std::isfinite(value)) {
        *this << "null";
        return;
    }
    reserve(32); // the shortest text that reads back as the same double
    char *at = m_buffer.data() + m_size;
    m_size += std::size_t(std::to_chars(at, at + 32, value).ptr - at);
}

void Output::flush()
{
    if (m_size == 0)
        return;
    if (std::fwrite(m_buffer.data(), 1, m_size, m_file) != m_size)
        m_failed = true;
    m_size = 0;
    if (std::fflush(m_file) != 0)
        m_failed = true;
}
