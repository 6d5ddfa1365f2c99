// FieldInfo: set-up, symbolic value lookup and the framework's text operations.
#include "mesaroframework/FieldInfo.h"

#include <utility>

FieldInfo::FieldInfo(QString displayName, const FieldType &type)
    : m_displayName(std::move(displayName)), m_name(m_displayName), m_type(type)
{
}

FieldInfo::~FieldInfo() = default;

void FieldInfo::setRole(Role role)
{
    m_role = role;
    m_hasRole = true;
}

void FieldInfo::setScaleFactor(double factor)
{
    m_scaleFactor = factor;
    m_hasScaleFactor = true;
}

void FieldInfo::addSymbolicValue(const FieldValue &value, QString text)
{
    for (auto &entry : m_symbolicValues) {
        if (entry.first == value) {
            entry.second = std::move(text);
            return;
        }
    }
    m_symbolicValues.append(qMakePair(value, std::move(text)));
}

void FieldInfo::setDoNotUseValue(FieldValue value)
{
    m_doNotUseValue = value;
    m_hasDoNotUseValue = true;
}

QString FieldInfo::getSymbolicText(const FieldValue &value) const
{
    // Symbolic lists are a handful of entries, so a scan beats a hash here.
    for (const auto &entry : m_symbolicValues) {
        if (entry.first == value)
            return entry.second;
    }
    return QString();
}

QString FieldInfo::getValueString(const Message *message) const
{
    if (!isPresent(message))
        return QString();
    const unsigned int count = getNumberOfValues(message);
    QString text;
    for (unsigned int index = 0; index < count; ++index) {
        if (index > 0)
            text += QLatin1Char(' ');
        text += getIndexedValueString(message, index, true);
    }
    return text;
}

QString FieldInfo::joinUnit(const QString &valueText, bool withUnit) const
{
    if (!withUnit || m_unit.isEmpty())
        return valueText;
    return m_unitFollowsValue ? valueText + QLatin1Char(' ') + m_unit : m_unit + QLatin1Char(' ') + valueText;
}
