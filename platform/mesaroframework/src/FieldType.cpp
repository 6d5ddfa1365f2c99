// FieldType: construction checks and kind names.
#include "mesaroframework/FieldType.h"

FieldType::FieldType(Kind kind, int width, const MessageInfo *info)
    : m_kind(kind), m_width(width), m_subMessageInfo(info)
{
    Q_ASSERT_X((kind != Unsigned && kind != Signed) || (width >= 1 && width <= 64), "FieldType",
               "integer widths run from 1 to 64 bits");
}

QString FieldType::kindName(Kind kind)
{
    switch (kind) {
    case Unsigned:
        return QStringLiteral("u");
    case Signed:
        return QStringLiteral("i");
    case Byte:
        return QStringLiteral("byte");
    case Char:
        return QStringLiteral("ch");
    case Float64:
        return QStringLiteral("f64");
    case SubMessage:
        return QStringLiteral("subMessage");
    case Invalid:
        break;
    }
    return QStringLiteral("invalid");
}
