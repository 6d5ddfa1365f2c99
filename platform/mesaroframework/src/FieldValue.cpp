// FieldValue: conversions between kinds and the debugging text.
#include "mesaroframework/FieldValue.h"

#include "mesaroframework/FloatRepresentation.h"

#include <QtCore/QLocale>

#include <cmath>
#include <limits>

namespace {

// Truncation toward zero, clamped to T's range; out-of-range casts would be undefined behaviour.
template <typename T>
T clampedFromDouble(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    // max() as double rounds up to 2^63 or 2^64, which is itself out of range.
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

} // namespace

std::uint64_t FieldValue::toUInt64() const
{
    switch (m_kind) {
    case FieldType::Unsigned:
    case FieldType::Signed:
    case FieldType::Byte:
    case FieldType::Char:
        return m_data.bits;
    case FieldType::Float64:
        return clampedFromDouble<std::uint64_t>(m_data.real);
    case FieldType::SubMessage:
    case FieldType::Invalid:
        break;
    }
    return 0;
}

std::int64_t FieldValue::toInt64() const
{
    if (m_kind == FieldType::Float64)
        return clampedFromDouble<std::int64_t>(m_data.real);
    return static_cast<std::int64_t>(toUInt64());
}

double FieldValue::toDouble() const
{
    switch (m_kind) {
    case FieldType::Signed:
        return static_cast<double>(static_cast<std::int64_t>(m_data.bits));
    case FieldType::Unsigned:
    case FieldType::Byte:
    case FieldType::Char:
        return static_cast<double>(m_data.bits);
    case FieldType::Float64:
        return m_data.real;
    case FieldType::SubMessage:
    case FieldType::Invalid:
        break;
    }
    return 0.0;
}

unsigned char FieldValue::toByte() const
{
    switch (m_kind) {
    case FieldType::Unsigned:
    case FieldType::Signed:
    case FieldType::Byte:
    case FieldType::Char:
        return static_cast<unsigned char>(m_data.bits & 0xffu);
    default:
        return 0;
    }
}

QString FieldValue::toString() const
{
    switch (m_kind) {
    case FieldType::Unsigned:
        return QString::number(static_cast<qulonglong>(m_data.bits));
    case FieldType::Signed:
        return QString::number(static_cast<qlonglong>(m_data.bits));
    case FieldType::Byte:
        return QString::number(static_cast<uint>(m_data.bits), 16).rightJustified(2, QLatin1Char('0'));
    case FieldType::Char:
        return QString(QChar(static_cast<ushort>(m_data.bits)));
    case FieldType::Float64:
        return FloatRepresentation::getString(m_data.real, 'g', QLocale::FloatingPointShortest, false);
    case FieldType::SubMessage:
        return QStringLiteral("submsg");
    case FieldType::Invalid:
        break;
    }
    return QString();
}
