// FieldType: the type of a field as a format describes it (kind, bit width, sub-message descriptor).
#pragma once

#include "mesaroframework_global.h"

#include <QtCore/QString>

class MessageInfo;

class MESAROFRAMEWORK_EXPORT FieldType
{
public:
    // Invalid only marks a default-constructed type or value; no factory makes it.
    enum Kind : unsigned char { Invalid = 0, Unsigned, Signed, Byte, Char, Float64, SubMessage };

    FieldType() = default;

    // Integers of 1 to 64 bits; signed integers are two's complement.
    static FieldType u(int bits) { return FieldType(Unsigned, bits, nullptr); }
    static FieldType i(int bits) { return FieldType(Signed, bits, nullptr); }
    // A code of up to 8 bits that hosts show in hexadecimal.
    static FieldType byte() { return FieldType(Byte, 8, nullptr); }
    // One character of a text.
    static FieldType ch() { return FieldType(Char, 8, nullptr); }
    static FieldType f64() { return FieldType(Float64, 64, nullptr); }
    // A sub-message described by info; its values are the sub-message objects.
    static FieldType subMessage(const MessageInfo *info) { return FieldType(SubMessage, 0, info); }

    Kind kind() const { return m_kind; }
    int width() const { return m_width; }
    const MessageInfo *getSubMessageInfo() const { return m_subMessageInfo; }
    // "u", "i", "byte", "ch", "f64", "subMessage" ("invalid" for a default-constructed type).
    QString kindName() const { return kindName(m_kind); }
    static QString kindName(Kind kind);

    friend bool operator==(const FieldType &a, const FieldType &b)
    {
        return a.m_kind == b.m_kind && a.m_width == b.m_width && a.m_subMessageInfo == b.m_subMessageInfo;
    }
    friend bool operator!=(const FieldType &a, const FieldType &b) { return !(a == b); }

private:
    FieldType(Kind kind, int width, const MessageInfo *info);

    Kind m_kind = Invalid;
    int m_width = 0;
    const MessageInfo *m_subMessageInfo = nullptr;
};
