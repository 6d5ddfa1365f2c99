// Buffered output.
#include "Output.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

Output &Output::operator<<(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return append(utf8.constData(), std::size_t(utf8.size()));
}

Output &Output::number(long long value)
{
    reserve(24);
    char *at = m_buffer.data() + m_size;
    m_size += std::size_t(std::to_chars(at, at + 24, value).ptr - at);
    return *this;
}

Output &Output::number(unsigned long long value)
{
    reserve(24);
    char *at = m_buffer.data() + m_size;
    m_size += std::size_t(std::to_chars(at, at + 24, value).ptr - at);
    return *this;
}

Output &Output::operator<<(double value)
{
    reserve(32);
    char *at = m_buffer.data() + m_size;
    m_size += std::size_t(std::to_chars(at, at + 32, value).ptr - at);
    return *this;
}

void Output::visible(const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const auto plain = [](QChar ch) { return ch.unicode() >= 0x20 && ch.unicode() < 0x7F && ch != QLatin1Char('\\'); };
    if (std::all_of(text.begin(), text.end(), plain)) {
        reserve(std::size_t(text.size()));
        for (const QChar ch : text)
            m_buffer[m_size++] = char(ch.unicode());
        return;
    }
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (plain(ch)) {
            *this << char(c);
            continue;
        }
        switch (c) {
        case '\n': *this << "\\n"; break;
        case '\r': *this << "\\r"; break;
        case '\t': *this << "\\t"; break;
        case '\\': *this << "\\\\"; break;
        default:
            if (c <= 0xFF) {
                const char escape[4] = {'\\', 'x', hex[c >> 4], hex[c & 0xF]};
                append(escape, sizeof escape);
            } else { // not from a message text: Latin-1 is all they hold
                *this << QString(ch);
            }
        }
    }
}

bool Output::flush()
{
    if (m_size == 0 || m_failed)
        return !m_failed;
    const bool written = std::fwrite(m_buffer.data(), 1, m_size, m_file) == m_size && std::fflush(m_file) == 0;
    m_size = 0;
    if (!written) {
        m_failed = true;
        m_closed = errno == EPIPE;
    }
    return written;
}
