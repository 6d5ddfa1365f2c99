// AbstractDecoder: the base of a format's decoder, with the registry of its message numbers.
#pragma once

#include "MessageSource.h"
#include "mesaroframework_global.h"

#include <QtCore/QHash>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <cstdint>

class MessageInfo;

// A decoder registers each of its message descriptors under a number; the host enables and
// disables message kinds by these numbers. One decoder serves one caller at a time.
class MESAROFRAMEWORK_EXPORT AbstractDecoder : public MessageSource
{
    Q_OBJECT

public:
    // The name is also the object's objectName.
    explicit AbstractDecoder(QString name, QObject *parent = nullptr);
    ~AbstractDecoder() override;

    const QString &getName() const { return m_name; }

    // Keeps messageInfo under number. Each number names one descriptor and each descriptor has one
    // number: registering either again replaces its earlier association.
    void setMessageEnum(const MessageInfo *messageInfo, int number);
    // The number of messageInfo, or -1 when it has none.
    int getMessageEnum(const MessageInfo *messageInfo) const;
    // The descriptor registered under number, or null.
    const MessageInfo *getMessageInfoForEnum(int number) const;
    // Every registered number, ascending.
    QVector<int> getMessageEnums() const;

    // Decodes one message at the start of buffer (maxlength bytes available) and publishes it or
    // an event. Returns what the format defines, commonly the bits consumed or a negative error.
    virtual int32_t decodeMessage(const uint8_t *buffer, uint maxlength) = 0;

    virtual void enableAllMessages() = 0;
    virtual void disableAllMessages() = 0;
    virtual void enableMessageEnum(int number) = 0;
    virtual void disableMessageEnum(int number) = 0;
    virtual bool isEnabledMessageEnum(int number) const = 0;

private:
    QString m_name;
    QMap<int, const MessageInfo *> m_infoByNumber;
    QHash<const MessageInfo *, int> m_numberByInfo;
};
