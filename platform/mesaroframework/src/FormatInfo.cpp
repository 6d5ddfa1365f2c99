// FormatInfo: the message descriptor registry and its lookups.
#include "mesaroframework/FormatInfo.h"

#include "mesaroframework/FieldValue.h"
#include "mesaroframework/MessageInfo.h"

#include <utility>

FormatInfo::FormatInfo(QString name) : m_name(std::move(name)) {}

FormatInfo::~FormatInfo() = default;

void FormatInfo::addMessageInfo(const MessageInfo *messageInfo)
{
    if (!messageInfo || m_allMessageInfos.contains(messageInfo))
        return;
    m_messageInfos.append(messageInfo);
    m_allMessageInfos.append(messageInfo);
}

void FormatInfo::addSubMessageInfo(const MessageInfo *messageInfo)
{
    if (!messageInfo || m_allMessageInfos.contains(messageInfo))
        return;
    m_subMessageInfos.append(messageInfo);
    m_allMessageInfos.append(messageInfo);
}

const MessageInfo *FormatInfo::findMessageInfo(const QString &name) const
{
    for (const MessageInfo *info : m_allMessageInfos) {
        if (info->getDisplayName() == name || info->getName() == name)
            return info;
    }
    return nullptr;
}

const MessageInfo *FormatInfo::findMessageInfoByDiscriminant(const FieldValue &value) const
{
    for (const MessageInfo *info : m_messageInfos) {
        if (!info->isMain())
            continue;
        for (const auto &discriminant : info->getDiscriminants()) {
            if (discriminant.second == value)
                return info;
        }
    }
    return nullptr;
}
