// Buffered output for the rtcmv tool and the JSON text helpers shared by its subcommands.
#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <cstdio>
#include <string>

// Collects output in memory and writes it in large blocks: one message's text costs no system call.
class Output
{
public:
    explicit Output(FILE *file) : m_file(file) { m_buffer.reserve(1 << 17); }
    ~Output() { flush(); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    Output &operator<<(const char *text)
    {
        m_buffer += text;
        return *this;
    }
    Output &operator<<(const std::string &text)
    {
        m_buffer += text;
        return *this;
    }
    Output &operator<<(const QString &text);
    Output &operator<<(char c)
    {
        m_buffer += c;
        return *this;
    }
    Output &operator<<(long long value);
    Output &operator<<(unsigned long long value);
    Output &operator<<(int value) { return *this << static_cast<long long>(value); }
    Output &operator<<(unsigned int value) { return *this << static_cast<unsigned long long>(value); }

    // A JSON string literal of text (UTF-16 in, UTF-8 out), with control characters escaped.
    void jsonString(const QString &text);
    // A JSON string of 8-bit characters taken as Latin-1 (every byte is kept, NUL included).
    void jsonLatin1(const char *characters, unsigned int count);
    // A JSON number for a double; non-finite values, which JSON cannot hold, become null.
    void jsonDouble(double value);

    // Ends a line and writes the buffer out once it is large.
    void endLine()
    {
        m_buffer += '\n';
        if (m_buffer.size() >= (1u << 16))
            flush();
    }
    void flush();
    bool failed() const { return m_failed; }

private:
    FILE *m_file;
    std::string m_buffer;
    bool m_failed = false;
};
