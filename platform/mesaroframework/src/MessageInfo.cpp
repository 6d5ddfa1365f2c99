// MessageInfo: the ordered field registry and name lookups.
#include "mesaroframework/MessageInfo.h"

#include "mesaroframework/FieldInfo.h"

#include <algorithm>

MessageInfo::MessageInfo(QString displayName) : m_displayName(std::move(displayName)) {}

MessageInfo::~MessageInfo() = default;

QString MessageInfo::getName() const
{
    QString name = m_displayName;
    return name.replace(QLatin1Char(' '), QLatin1Char('_'));
}

int MessageInfo::lowerBound(int position) const
{
    return int(std::lower_bound(m_fieldPositions.cbegin(), m_fieldPositions.cend(), position) - m_fieldPositions.cbegin());
}

void MessageInfo::addFieldInfo(const FieldInfo *fieldInfo, int position, bool marked)
{
    // Insert behind every field at the same or a lower position, so the lists stay sorted.
    const int at = int(std::upper_bound(m_fieldPositions.cbegin(), m_fieldPositions.cend(), position) - m_fieldPositions.cbegin());
    m_fieldInfos.insert(at, fieldInfo);
    m_fieldPositions.insert(at, position);
    m_fieldMarks.insert(at, marked);
}

void MessageInfo::addDiscriminantValue(const FieldInfo *fieldInfo, const FieldValue &value)
{
    m_discriminants.append(qMakePair(fieldInfo, value));
}

const FieldInfo *MessageInfo::getFieldInfo(int position) const
{
    const int at = lowerBound(position);
    return at < m_fieldPositions.size() && m_fieldPositions.at(at) == position ? m_fieldInfos.at(at) : nullptr;
}

int MessageInfo::getFieldPosition(const FieldInfo *fieldInfo) const
{
    const int at = m_fieldInfos.indexOf(fieldInfo);
    return at < 0 ? -1 : m_fieldPositions.at(at);
}

bool MessageInfo::isFieldMarked(int position) const
{
    const int at = lowerBound(position);
    return at < m_fieldPositions.size() && m_fieldPositions.at(at) == position && m_fieldMarks.at(at);
}

const FieldInfo *MessageInfo::findFieldInfo(const QString &name) const
{
    for (const FieldInfo *fieldInfo : m_fieldInfos) {
        if (fieldInfo && fieldInfo->getName() == name)
            return fieldInfo;
    }
    return nullptr;
}
