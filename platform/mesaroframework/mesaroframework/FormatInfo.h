// FormatInfo: the descriptor of a whole format, the registry of its message descriptors.
#pragma once

#include "mesaroframework_global.h"

#include <QtCore/QMetaType>
#include <QtCore/QString>
#include <QtCore/QVector>

class FieldValue;
class MessageInfo;

class MESAROFRAMEWORK_EXPORT FormatInfo
{
public:
    explicit FormatInfo(QString name);
    virtual ~FormatInfo();

    FormatInfo(const FormatInfo &) = default;
    FormatInfo &operator=(const FormatInfo &) = default;

    // Registration keeps the order of the calls; a descriptor registered before is not added again.
    // The format does not own its descriptors.
    void addMessageInfo(const MessageInfo *messageInfo);
    void addSubMessageInfo(const MessageInfo *messageInfo);

    const QString &getName() const { return m_name; }
    const QVector<const MessageInfo *> &getMessageInfos() const { return m_messageInfos; }
    const QVector<const MessageInfo *> &getSubMessageInfos() const { return m_subMessageInfos; }
    // Messages and sub-messages together, in registration order.
    const QVector<const MessageInfo *> &getAllMessageInfos() const { return m_allMessageInfos; }

    // The descriptor whose getName() ("Message_Type_1") or display name ("Message Type 1") is
    // name, or null.
    const MessageInfo *findMessageInfo(const QString &name) const;
    // The first main message descriptor with a discriminant value equal to value, or null.
    const MessageInfo *findMessageInfoByDiscriminant(const FieldValue &value) const;

private:
    QString m_name;
    QVector<const MessageInfo *> m_messageInfos;
    QVector<const MessageInfo *> m_subMessageInfos;
    QVector<const MessageInfo *> m_allMessageInfos;
};

Q_DECLARE_METATYPE(const FormatInfo *)
