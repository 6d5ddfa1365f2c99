// Buffered output and JSON text helpers.
#include "Output.h"

#include <charconv>
#include <cmath>

Output &Output::operator<<(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    m_buffer.append(utf8.constData(), std::size_t(utf8.size()));
    return *this;
}

Output &Output::operator<<(long long value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    m_buffer.append(digits, std::size_t(end - digits));
    return *this;
}

Output &Output::operator<<(unsigned long long value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    m_buffer.append(digits, std::size_t(end - digits));
    return *this;
}

static void appendEscaped(std::string &out, unsigned int c)
{
    static const char hex[] = "0123456789abcdef";
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xF];
    } else {
        out += char(c);
    }
}

void Output::jsonString(const QString &text)
{
    m_buffer += '"';
    const QByteArray utf8 = text.toUtf8(); // unpaired surrogates become U+FFFD: always valid UTF-8
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80)
            m_buffer += ch;
        else
            appendEscaped(m_buffer, c);
    }
    m_buffer += '"';
}

void Output::jsonLatin1(const char *characters, unsigned int count)
{
    m_buffer += '"';
    for (unsigned int i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(characters[i]);
        if (c >= 0x80) { // U+0080..U+00FF in two UTF-8 bytes
            m_buffer += char(0xC0 | (c >> 6));
            m_buffer += char(0x80 | (c & 0x3F));
        } else {
            appendEscaped(m_buffer, c);
        }
    }
    m_buffer += '"';
}

void Output::jsonDouble(double value)
{
    if (!std::isfinite(value)) {
        m_buffer += "null";
        return;
    }
    char digits[32]; // the shortest text that reads back as the same double
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    m_buffer.append(digits, std::size_t(end - digits));
}

void Output::flush()
{
    if (m_buffer.empty())
        return;
    if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
    if (std::fflush(m_file) != 0)
        m_failed = true;
}
