// The tool's one JSON writer: objects, arrays, the commas between their members and the escaping
// of strings, written straight into an Output without building a document.
#pragma once

#include "Output.h"

#include <QtCore/QString>

#include <algorithm>
#include <cstdint>
#include <string>

// A member's key written out once as `"name":` (a name that needs no escaping), kept padded so
// that writing it is one copy of fixed size: records repeat the same keys over and over.
class JsonKey
{
public:
    explicit JsonKey(const std::string &name) : m_text('"' + name + "\":"), m_size(m_text.size())
    {
        m_text.resize(std::max(m_size, Output::kPadded));
    }

private:
    friend class JsonWriter;
    std::string m_text;
    std::size_t m_size;
};

class JsonWriter
{
public:
    explicit JsonWriter(Output &out) : m_out(out) {}

    JsonWriter &beginObject() { return open('{'); }
    JsonWriter &endObject() { return close('}'); }
    JsonWriter &beginArray() { return open('['); }
    JsonWriter &endArray() { return close(']'); }

    // A member's key; `name` must need no escaping (the codec's and catalogue's keys do not).
    JsonWriter &key(const char *name)
    {
        separated() << '"' << name << "\":";
        m_needComma = false; // the value follows the key
        return *this;
    }
    JsonWriter &preparedKey(const JsonKey &key)
    {
        separate();
        write(key);
        m_needComma = false;
        return *this;
    }

    // A member with a number value in one step: the hot path of records.
    template <typename Number>
    JsonWriter &member(const JsonKey &key, Number number)
    {
        separate();
        write(key);
        write(number);
        return *this;
    }

    JsonWriter &value(long long number) { return separated() << number, *this; }
    JsonWriter &value(unsigned long long number) { return separated() << number, *this; }
    JsonWriter &value(int number) { return value(static_cast<long long>(number)); }
    JsonWriter &value(unsigned int number) { return value(static_cast<unsigned long long>(number)); }
    JsonWriter &value(bool flag) { return separated() << (flag ? "true" : "false"), *this; }
    // A double as the shortest text that reads back as the same double; null when not finite.
    JsonWriter &value(double number)
    {
        separate();
        write(number);
        return *this;
    }
    // A string of UTF-16 text, written as UTF-8.
    JsonWriter &value(const QString &text);
    JsonWriter &value(const char *) = delete; // would pass for a bool
    JsonWriter &null() { return separated() << "null", *this; }
    // A string of 8-bit characters taken as Latin-1 (every byte is kept, NUL included).
    JsonWriter &latin1(const char *characters, unsigned int count);

    // Ends a line of JSON Lines; the next value starts a new document.
    void endLine()
    {
        m_out.endLine();
        m_outer = 0;
        m_needComma = false;
    }

private:
    JsonWriter &open(char bracket)
    {
        separated() << bracket;
        m_outer = (m_outer << 1) | uint64_t(m_needComma);
        m_needComma = false;
        return *this;
    }
    JsonWriter &close(char bracket)
    {
        m_out << bracket;
        m_needComma = (m_outer & 1) != 0;
        m_outer >>= 1;
        return *this;
    }
    // The comma before a member that is not the first of its object or array.
    void separate()
    {
        if (m_needComma)
            m_out << ',';
        m_needComma = true;
    }
    Output &separated()
    {
        separate();
        return m_out;
    }
    void write(const JsonKey &key)
    {
        if (key.m_size <= Output::kPadded)
            m_out.appendPadded(key.m_text.data(), key.m_size);
        else
            m_out.append(key.m_text.data(), key.m_size);
    }
    void write(long long number) { m_out << number; }
    void write(unsigned long long number) { m_out << number; }
    void write(double number);
    void escaped(unsigned int c);

    Output &m_out;
    bool m_needComma = false; // the next member needs a comma before it (false right after a key)
    uint64_t m_outer = 0;     // m_needComma of the enclosing objects and arrays, innermost in bit 0
};
