// FieldValue: one value of a field, a small value type that is cheap to copy and compare.
#pragma once

#include "FieldType.h"
#include "mesaroframework_global.h"

#include <QtCore/QString>

#include <cstdint>
#include <type_traits>

class Message;

// Holds a kind, a width and one 8-byte value: the integer bits, the double, or the pointer to a
// sub-message object. A default-constructed value is invalid. The value is kept exactly as given;
// the width describes the field it came from and takes part in comparisons.
class MESAROFRAMEWORK_EXPORT FieldValue
{
public:
    FieldValue() { m_data.bits = 0; }

    static FieldValue u(unsigned long long value, int bits)
    {
        return FieldValue(FieldType::Unsigned, bits, static_cast<std::uint64_t>(value));
    }
    static FieldValue i(long long value, int bits)
    {
        return FieldValue(FieldType::Signed, bits, static_cast<std::uint64_t>(value));
    }
    static FieldValue byte(unsigned char value) { return FieldValue(FieldType::Byte, 8, value); }
    static FieldValue ch(char value) { return FieldValue(FieldType::Char, 8, static_cast<unsigned char>(value)); }
    static FieldValue f64(double value)
    {
        FieldValue v(FieldType::Float64, 64, 0);
        v.m_data.real = value;
        return v;
    }
    // The sub-message is not referenced: it lives as long as the message that owns it.
    static FieldValue subMessage(const Message *message)
    {
        FieldValue v(FieldType::SubMessage, 0, 0);
        v.m_data.message = message;
        return v;
    }

    FieldType::Kind kind() const { return m_kind; }
    int width() const { return m_width; }
    bool isValid() const { return m_kind != FieldType::Invalid; }

    // Numeric reads convert between the integer kinds as C++ does (a byte or character gives its
    // code 0 to 255, toUInt64 of a negative value its two's complement bits); a double is truncated
    // toward zero and clamped to the target's range, NaN giving 0. Sub-messages and invalid values
    // read as 0.
    std::uint64_t toUInt64() const;
    std::int64_t toInt64() const;
    double toDouble() const;
    // The low 8 bits of an integer, byte or character value; 0 for the other kinds.
    char toChar() const { return static_cast<char>(toByte()); }
    unsigned char toByte() const;
    // The sub-message object, or null when the value is no sub-message.
    const Message *toSubMessage() const { return m_kind == FieldType::SubMessage ? m_data.message : nullptr; }

    // Text for debugging and plain printing: decimal for integers, two lower-case hex digits for a
    // byte, the Latin-1 character for a character, the shortest exact decimal form for a double,
    // "submsg" for a sub-message and the empty text for an invalid value.
    QString toString() const;

    // Equal when kind, width and value agree; doubles compare as doubles (so NaN never matches).
    friend bool operator==(const FieldValue &a, const FieldValue &b)
    {
        if (a.m_kind != b.m_kind || a.m_width != b.m_width)
            return false;
        switch (a.m_kind) {
        case FieldType::Float64:
            return a.m_data.real == b.m_data.real;
        case FieldType::SubMessage:
            return a.m_data.message == b.m_data.message;
        default:
            return a.m_data.bits == b.m_data.bits;
        }
    }
    friend bool operator!=(const FieldValue &a, const FieldValue &b) { return !(a == b); }

private:
    FieldValue(FieldType::Kind kind, int width, std::uint64_t bits)
        : m_kind(kind), m_width(static_cast<unsigned char>(width))
    {
        m_data.bits = bits;
    }

    union {
        std::uint64_t bits; // integers, bytes and characters
        double real;
        const Message *message;
    } m_data;
    FieldType::Kind m_kind = FieldType::Invalid;
    unsigned char m_width = 0;
};

static_assert(sizeof(FieldValue) <= 16, "FieldValue must stay small enough to pass in registers");
static_assert(std::is_trivially_copyable<FieldValue>::value, "FieldValue must copy as plain bytes");
