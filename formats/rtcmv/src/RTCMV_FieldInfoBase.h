// Behaviour shared by every RTCMV field descriptor: presence, counts, typed values with their
// checks, and value texts. One template covers the field categories (plain, repeated, optional,
// optional and repeated; integer, byte, character, float, sub-message); a generated descriptor
// names its message class, its getters and its texts, and registers its flags.
#pragma once

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/FieldValue.h>
#include <mesaroframework/FloatRepresentation.h>
#include <mesaroframework/Message.h>
#include <nvtguibase/MemLeakTracer.h>

#include <QtCore/QHash>
#include <QtCore/QLocale>
#include <QtCore/QString>

#include <type_traits>
#include <typeinfo>

class FormatInfo;

// The part of every field descriptor that does not depend on the field's types.
class RTCMV_FieldInfoBase : public FieldInfo
{
public:
    // The descriptor's class name, such as "RTCMV_DGNSS_PRC_FieldInfo".
    const QString &getClassName() const { return m_className; }

    // Whether the message (of this field's kind) leaves this optional field out. Unlike isPresent,
    // an optional repeated member that the message holds with no values is not left out.
    virtual bool isOmittedFrom(const Message *message) const = 0;

protected:
    // messageDisplayName: the display name of the message descriptor that holds the field (its
    // descriptor may still be under construction, so it is not asked). format: the format whose
    // catalogue holds the field (RTCMV when null), named by the field-access events.
    RTCMV_FieldInfoBase(QString displayName, const FieldType &type, QString className,
                        QString messageDisplayName, QString fieldName, const FormatInfo *format = nullptr);

    // The five failure texts of a checked value access, thrown as field-access events.
    [[noreturn]] void throwWrongKind() const;
    [[noreturn]] void throwAbsent() const;
    [[noreturn]] void throwNoValues() const;
    [[noreturn]] void throwIndexOutOfRange() const;
    [[noreturn]] void throwNonZeroIndex() const;

    // Value texts.
    static QString hexByte(unsigned int value);
    static QString scaled(double value, double scaleFactor);
    static QString widenedChar(char value);

    QString m_className;
    QString m_messageDisplayName;
    const FormatInfo *m_format;
};

// Msg: the message class that carries the field. T: what its getter returns.
// Exactly one of Get (a single value) and GetAt (a repeated member, with Count) is set; Has marks an
// optional field; Array gives the characters of a text field for its whole-text override.
template <class Msg, typename T, T (Msg::*Get)() const, T (Msg::*GetAt)(unsigned int) const,
          unsigned int (Msg::*Count)() const, bool (Msg::*Has)() const,
          const T *(Msg::*Array)() const = nullptr>
class RTCMV_FieldInfo : public RTCMV_FieldInfoBase
{
public:
    static constexpr bool repeated = GetAt != nullptr;
    static constexpr bool optional = Has != nullptr;
    using Key = std::conditional_t<std::is_pointer<T>::value, quintptr, T>;

    ~RTCMV_FieldInfo() override { MemLeakTracer::deallocateObject(m_className); }

    bool isPresent(const Message *message) const override
    {
        const Msg *msg = asKind(message);
        if (msg == nullptr)
            return false;
        if constexpr (optional) {
            if (!(msg->*Has)())
                return false;
        }
        if constexpr (repeated)
            return (msg->*Count)() != 0;
        return true;
    }

    bool isOmittedFrom(const Message *message) const override
    {
        if constexpr (optional) {
            const Msg *msg = asKind(message);
            return msg != nullptr && !(msg->*Has)();
        } else {
            (void)message;
            return false;
        }
    }

    unsigned int getNumberOfValues(const Message *message) const override
    {
        const Msg *msg = asKind(message);
        if (msg == nullptr)
            return 0;
        if constexpr (optional) {
            if (!(msg->*Has)())
                return 0;
        }
        if constexpr (repeated)
            return (msg->*Count)();
        return 1;
    }

    FieldValue getValue(const Message *message, unsigned int index) const override
    {
        const Msg *msg = asKind(message);
        if (msg == nullptr)
            throwWrongKind();
        if constexpr (optional) {
            if (!(msg->*Has)())
                throwAbsent();
        }
        if constexpr (repeated) {
            const unsigned int count = (msg->*Count)();
            if (count == 0)
                throwNoValues();
            if (index >= count)
                throwIndexOutOfRange();
        } else {
            if (index > 0)
                throwNonZeroIndex();
        }
        return toFieldValue(fetch(msg, index));
    }

    // No checks of presence or index: those faults reach the getter, which throws its own event.
    // A message of another kind cannot reach a getter at all, so it gets the kind text.
    FieldValue getValueNoCheck(const Message *message, unsigned int index) const override
    {
        return toFieldValue(fetch(ofKind(message), index));
    }

    QString getValueString(const Message *message) const override
    {
        if constexpr (Array != nullptr) {
            const Msg *msg = ofKind(message);
            const unsigned int count = (msg->*Count)();
            if (count == 0)
                return QString();
            const char *characters = (msg->*Array)();
            unsigned int length = 0;
            while (length < count && characters[length] != '\0')
                ++length;
            return QString::fromLatin1(characters, int(length));
        } else {
            return FieldInfo::getValueString(message);
        }
    }

    QString getIndexedValueString(const Message *message, unsigned int index, bool withUnit) const override
    {
        const T value = fetch(ofKind(message), index);
        if constexpr (std::is_pointer<T>::value) {
            (void)value;
            (void)withUnit;
            return QStringLiteral("submsg");
        } else {
            if (hasDoNotUseValue() && toFieldValue(value) == getDoNotUseValue())
                return Message::useDoNotUseString ? Message::doNotUseString : QString();
            if (!m_symbolicValueTexts.isEmpty()) {
                const QString symbol = m_symbolicValueTexts.value(Key(value));
                if (!symbol.isEmpty())
                    return joinUnit(symbol, withUnit);
            }
            return joinUnit(numberText(value), withUnit);
        }
    }

protected:
    using Base = RTCMV_FieldInfo;

    RTCMV_FieldInfo(QString displayName, const FieldType &type, QString className,
                    QString messageDisplayName, QString fieldName, const FormatInfo *format = nullptr)
        : RTCMV_FieldInfoBase(std::move(displayName), type, std::move(className),
                              std::move(messageDisplayName), std::move(fieldName), format)
    {
    }

    // Registers a symbolic value with the framework and in the descriptor's own table.
    void addSymbol(long long value, const QString &text)
    {
        addSymbolicValue(valueOfType(value), text);
        m_symbolicValueTexts.insert(Key(value), text);
    }

    // A raw value as a FieldValue of the field's type.
    FieldValue valueOfType(long long value) const
    {
        switch (getType().kind()) {
        case FieldType::Byte:
            return FieldValue::byte(static_cast<unsigned char>(value));
        case FieldType::Signed:
            return FieldValue::i(value, getType().width());
        default:
            return FieldValue::u(static_cast<unsigned long long>(value), getType().width());
        }
    }

private:
    // The dynamic type test; an object of exactly the message class, or a decoded message of it
    // (the usual cases), is recognised by its type alone, which is much cheaper than a full cast.
    static const Msg *asKind(const Message *message)
    {
        if (message == nullptr)
            return nullptr;
        const std::type_info &type = typeid(*message);
        if (type == typeid(typename Msg::WithRecord) || type == typeid(Msg))
            return static_cast<const Msg *>(message);
        return dynamic_cast<const Msg *>(message);
    }

    const Msg *ofKind(const Message *message) const
    {
        const Msg *msg = asKind(message);
        if (msg == nullptr)
            throwWrongKind();
        return msg;
    }

    static T fetch(const Msg *msg, unsigned int index)
    {
        if constexpr (repeated) {
            return (msg->*GetAt)(index);
        } else {
            (void)index;
            return (msg->*Get)();
        }
    }

    FieldValue toFieldValue(T value) const
    {
        if constexpr (std::is_pointer<T>::value) {
            return FieldValue::subMessage(value);
        } else if constexpr (std::is_floating_point<T>::value) {
            return FieldValue::f64(value);
        } else if constexpr (std::is_same<T, char>::value) {
            return FieldValue::ch(value);
        } else {
            switch (getType().kind()) {
            case FieldType::Byte:
                return FieldValue::byte(static_cast<unsigned char>(value));
            case FieldType::Signed:
                return FieldValue::i(static_cast<long long>(value), getType().width());
            default:
                return FieldValue::u(static_cast<unsigned long long>(value), getType().width());
            }
        }
    }

    // The locale in force when the class first formats a number; kept for the process's life.
    static const QLocale &locale()
    {
        static const QLocale instance;
        return instance;
    }

    QString numberText(T value) const
    {
        if constexpr (std::is_floating_point<T>::value) {
            return FloatRepresentation::getString(value, 'f', 6, true);
        } else if constexpr (std::is_same<T, char>::value) {
            return widenedChar(value);
        } else {
            if (getType().kind() == FieldType::Byte)
                return hexByte(static_cast<unsigned char>(value));
            if (hasScaleFactor())
                return scaled(static_cast<double>(value), getScaleFactor());
            // The overload follows the getter's type; 8-bit values print as int.
            if constexpr (sizeof(T) == 1)
                return locale().toString(static_cast<int>(value));
            else
                return locale().toString(value);
        }
    }

    QHash<Key, QString> m_symbolicValueTexts;
};
