// Buffered output for the rtcmv tool's subcommands.
#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Collects output in memory and writes it in large blocks: one message's text costs no system
// call, and appending is a copy into a buffer that grows only while the first lines are written.
class Output
{
public:
    explicit Output(FILE *file) : m_file(file), m_buffer(1 << 17) {}
    ~Output() { flush(); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    Output &operator<<(const char *text) { return append(text, std::strlen(text)); }
    Output &operator<<(const std::string &text) { return append(text.data(), text.size()); }
    Output &operator<<(const QString &text);
    Output &operator<<(char c)
    {
        reserve(1);
        m_buffer[m_size++] = c;
        return *this;
    }
    // Most values of a record are below 100: they are written without a call.
    Output &operator<<(long long value)
    {
        return static_cast<unsigned long long>(value) < 100 ? twoDigits(unsigned(value)) : number(value);
    }
    Output &operator<<(unsigned long long value) { return value < 100 ? twoDigits(unsigned(value)) : number(value); }
    Output &operator<<(int value) { return *this << static_cast<long long>(value); }
    Output &operator<<(unsigned int value) { return *this << static_cast<unsigned long long>(value); }
    // The shortest text that reads back as the same double ("nan", "inf" when not finite).
    Output &operator<<(double value);

    Output &append(const char *data, std::size_t size)
    {
        reserve(size);
        std::memcpy(m_buffer.data() + m_size, data, size);
        m_size += size;
        return *this;
    }
    // Appends the first `size` bytes of `data`, which holds kPadded bytes: one copy of fixed size,
    // for short texts written over and over.
    static constexpr std::size_t kPadded = 48;
    Output &appendPadded(const char *data, std::size_t size)
    {
        reserve(kPadded);
        std::memcpy(m_buffer.data() + m_size, data, kPadded);
        m_size += size;
        return *this;
    }

    // Text for a terminal or a line-based reader: control characters, characters above 0x7E and
    // the backslash are written as escapes (\n, \r, \t, \\, else \xHH), so that no text a message
    // carries can move the cursor, send terminal commands or start a line of its own.
    void visible(const QString &text);

    // Ends a line and writes the buffer out once it is large.
    void endLine()
    {
        *this << '\n';
        if (m_size >= (1u << 16))
            flush();
    }
    // Writes out what is buffered; false once a write failed.
    bool flush();
    bool failed() const { return m_failed; }
    // The reader has gone (a closed pipe, with SIGPIPE ignored): the run ends quietly.
    bool closed() const { return m_closed; }

private:
    Output &twoDigits(unsigned value)
    {
        reserve(2);
        if (value >= 10)
            m_buffer[m_size++] = char('0' + value / 10);
        m_buffer[m_size++] = char('0' + value % 10);
        return *this;
    }
    Output &number(long long value);
    Output &number(unsigned long long value);
    void reserve(std::size_t more)
    {
        if (m_size + more > m_buffer.size())
            m_buffer.resize((m_size + more) * 2);
    }

    FILE *m_file;
    std::vector<char> m_buffer;
    std::size_t m_size = 0;
    bool m_failed = false;
    bool m_closed = false;
};
