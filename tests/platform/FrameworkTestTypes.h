// Small concrete messages and field descriptors shared by the framework tests.
#pragma once

#include <mesaroframework/mesaroframework.h>

#include <QtCore/QVector>

#include <utility>

// A message holding a list of signed values, counting its own destruction.
class ListMessage : public Message
{
public:
    ListMessage(const MessageInfo *info, QVector<qint64> list = {}, int *deathCounter = nullptr)
        : Message(info), values(std::move(list)), deaths(deathCounter)
    {
    }
    ~ListMessage() override
    {
        if (deaths)
            ++*deaths;
    }

    // Exposes the protected lookup so tests can reach another message's record.
    const void *rawOf(const Message *other) const { return getRawRepresentationOf(other); }

    QVector<qint64> values;

private:
    const void *getRawRepresentation() const override { return &values; }

    int *deaths;
};

// A repeated signed field reading ListMessage::values, shaped like a format's field descriptor.
class ListField : public FieldInfo
{
public:
    ListField(const QString &displayName, int bits) : FieldInfo(displayName, FieldType::i(bits)) {}

    bool isPresent(const Message *message) const override { return getNumberOfValues(message) > 0; }
    unsigned int getNumberOfValues(const Message *message) const override
    {
        const auto *list = dynamic_cast<const ListMessage *>(message);
        return list ? unsigned(list->values.size()) : 0;
    }
    FieldValue getValue(const Message *message, unsigned int index) const override
    {
        if (index >= getNumberOfValues(message))
            throw MesaroEvent(MesaroEvent::Type(6), QStringLiteral("bad index"), nullptr);
        return getValueNoCheck(message, index);
    }
    FieldValue getValueNoCheck(const Message *message, unsigned int index) const override
    {
        return FieldValue::i(static_cast<const ListMessage *>(message)->values.at(int(index)), getType().width());
    }
    QString getIndexedValueString(const Message *message, unsigned int index, bool withUnit) const override
    {
        const FieldValue value = getValueNoCheck(message, index);
        if (hasDoNotUseValue() && value == getDoNotUseValue())
            return Message::useDoNotUseString ? Message::doNotUseString : QString();
        QString text = getSymbolicText(value);
        return joinUnit(text.isEmpty() ? value.toString() : text, withUnit);
    }

    void putUnitFirst() { setUnitFollowingValue(false); }
};
