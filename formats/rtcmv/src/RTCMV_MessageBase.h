// Behaviour shared by every RTCMV message class: the wrapped codec record and its ownership,
// sub-message objects built on first use, the accessor checks and the raw text line.
// A generated class supplies its record type, its element class and one line per accessor.
// Another generated format (RTCM2X) uses the same templates with its own codec's release function.
#pragma once

#include <RTCMV_codec.h>

#include <mesaroframework/Message.h>
#include <mesaroframework/MessageInfo.h>
#include <nvtguibase/MemLeakTracer.h>

#include <QtCore/QString>
#include <QtCore/QVector>

#include <new>
#include <type_traits>

struct TraceChannel;

// Out-of-line helpers of the templates below (they keep Qt text building out of every accessor).
namespace RTCMV_detail {
void resolveChannel(TraceChannel &channel);
[[noreturn]] void failRepresentation(const QString &className);
[[noreturn]] void throwIndexError(const MessageInfo *info, const char *member);
[[noreturn]] void throwAbsentField(const MessageInfo *info, const char *field);
} // namespace RTCMV_detail

// Lists of the sub-message objects of a repeated sub-record member; empty for classes without one.
template <class Sub>
struct RTCMV_SubMessageLists
{
    bool valid = false;
    QVector<const Sub *> constSubMessages;
    QVector<Sub *> subMessages; // owns the objects
};
template <>
struct RTCMV_SubMessageLists<void>
{
};

template <class M, void (*FreeRecord)(void *)>
class RTCMV_MessageWithRecord;

// Self is the generated class (CRTP), Record its codec record, Sub the class of the elements of its
// repeated sub-record member or void, FreeRecord the codec's release of a record's blocks. Self
// provides className(), messageInfo() and traceChannel(), and, with a Sub, subRecords(Record *) and
// subRecordCount(const Record *).
template <class Self, class Record, class Sub = void, void (*FreeRecord)(void *) = &Nvt::Mesaro::RTCMV_free_record>
class RTCMV_MessageBase : public Message
{
public:
    static constexpr bool hasSubMessages = !std::is_void<Sub>::value;
    // The class of a decoded message of this class: the message together with its record.
    using WithRecord = RTCMV_MessageWithRecord<Self, FreeRecord>;

    RTCMV_MessageBase(const RTCMV_MessageBase &) = delete;
    RTCMV_MessageBase &operator=(const RTCMV_MessageBase &) = delete;

    ~RTCMV_MessageBase() override
    {
        enter();
        MemLeakTracer::deallocateObject(Self::className());
        disposeSubMessages();
        disposeRepresentation();
    }

    QVector<Message *> getSubMessages() override
    {
        enter();
        if constexpr (hasSubMessages) {
            QVector<Message *> result;
            result.reserve(m_lists.subMessages.size());
            for (Sub *sub : m_lists.subMessages)
                result.append(sub);
            return result;
        } else {
            return Message::getSubMessages();
        }
    }

    QVector<const Message *> getSubMessages() const override
    {
        enter();
        if constexpr (hasSubMessages) {
            QVector<const Message *> result;
            result.reserve(m_lists.subMessages.size());
            for (const Sub *sub : m_lists.subMessages)
                result.append(sub);
            return result;
        } else {
            return Message::getSubMessages();
        }
    }

protected:
    // Main messages: (record, owns). Sub-records also take their parent message (which may be null).
    RTCMV_MessageBase(Record *representation, bool ownsRepresentation)
        : Message(Self::messageInfo()), m_ownsRepresentation(ownsRepresentation)
    {
        enter();
        MemLeakTracer::allocateObject(Self::className());
        disposeSubMessages();
        m_representation = representation;
    }
    RTCMV_MessageBase(Record *representation, Message *parent, bool ownsRepresentation)
        : Message(Self::messageInfo()), m_ownsRepresentation(ownsRepresentation)
    {
        enter();
        MemLeakTracer::allocateObject(Self::className());
        m_representation = representation;
        setParentMessage(parent);
    }

    void enter() const { RTCMV_detail::resolveChannel(Self::traceChannel()); }

    void assertRepresentation() const
    {
        if (m_representation == nullptr)
            RTCMV_detail::failRepresentation(Self::className());
    }

    // The record for an accessor: resolves the channel and asserts that there is one.
    const Record *record() const
    {
        enter();
        assertRepresentation();
        return m_representation;
    }

    // The record for the array accessors and the raw line, which do not resolve the channel: a
    // message without one stops with the same fatal report as the other accessors.
    Record *rawRecord() const
    {
        assertRepresentation();
        return m_representation;
    }

    // The elements a sub-record member really holds: its count, or none while the record has no
    // block (a record built by hand before its first append).
    unsigned int heldSubRecords(unsigned int count) const
    {
        if constexpr (hasSubMessages)
            return Self::subRecords(m_representation) != nullptr ? count : 0;
        else
            return count;
    }

    void disposeRepresentation()
    {
        enter();
        disposeSubMessages();
        if (m_representation != nullptr && m_ownsRepresentation) {
            FreeRecord(m_representation);
            delete m_representation;
        }
        m_representation = nullptr;
    }

    // Repeated scalar member: element `index` of `array` holding `count` values.
    template <typename T>
    T valueAt(const T *array, unsigned int count, unsigned int index, const char *member) const
    {
        if (index < count)
            return array[index];
        RTCMV_detail::throwIndexError(Self::messageInfo(), member);
    }

    template <typename T>
    static QVector<T> vectorOf(const T *array, unsigned int count)
    {
        return QVector<T>(array, array + count);
    }

    // Repeated sub-record member.
    Sub *subMessageAt(unsigned int index, const char *member)
    {
        record();
        ensureSubMessages();
        if (index < unsigned(m_lists.subMessages.size()))
            return m_lists.subMessages[int(index)];
        RTCMV_detail::throwIndexError(Self::messageInfo(), member);
    }
    const Sub *subMessageAt(unsigned int index, const char *member) const
    {
        record();
        ensureSubMessages();
        if (index < unsigned(m_lists.constSubMessages.size()))
            return m_lists.constSubMessages[int(index)];
        RTCMV_detail::throwIndexError(Self::messageInfo(), member);
    }
    QVector<Sub *> subMessageVector()
    {
        record();
        ensureSubMessages();
        return m_lists.subMessages;
    }
    QVector<const Sub *> subMessageVector() const
    {
        record();
        ensureSubMessages();
        return m_lists.constSubMessages;
    }

    // Builds one sub-message object per element of the current record, reusing the objects of an
    // earlier build that wrap the same element.
    void ensureSubMessages() const
    {
        enter();
        if constexpr (hasSubMessages) {
            auto &lists = m_lists;
            if (lists.valid)
                return;
            QVector<Sub *> candidates = lists.subMessages;
            lists.subMessages.clear();
            lists.constSubMessages.clear();
            auto *elements = Self::subRecords(m_representation);
            const unsigned int count = heldSubRecords(Self::subRecordCount(m_representation));
            auto *self = const_cast<RTCMV_MessageBase *>(this);
            for (unsigned int i = 0; i < count; ++i) {
                auto *element = &elements[i];
                element->parent = m_representation;
                Sub *sub = nullptr;
                for (int c = 0; c < candidates.size(); ++c) {
                    if (getRawRepresentationOf(candidates[c]) == element) {
                        sub = candidates.takeAt(c);
                        break;
                    }
                }
                if (sub == nullptr)
                    sub = new Sub(element, self, false);
                lists.subMessages.append(sub);
                lists.constSubMessages.append(sub);
            }
            qDeleteAll(candidates);
            lists.valid = true;
        }
    }

    void disposeSubMessages() const
    {
        enter();
        if constexpr (hasSubMessages) {
            qDeleteAll(m_lists.subMessages);
            m_lists.subMessages.resize(0); // keeps the capacity for the next build
            m_lists.valid = false;
        }
    }

private:
    const void *getRawRepresentation() const override { return m_representation; }

    mutable RTCMV_SubMessageLists<Sub> m_lists;
    Record *m_representation = nullptr;
    bool m_ownsRepresentation;
};

// The record a wrapped message reads, in the same allocation as the message. As the first base it
// is built before the message wraps it and released after the message is gone; its sub-record
// block goes with it.
template <class Record, void (*FreeRecord)(void *)>
struct RTCMV_HeldRecord
{
    Record held;
    explicit RTCMV_HeldRecord(const Record &record) : held(record) {}
    ~RTCMV_HeldRecord() { FreeRecord(&held); }
    RTCMV_HeldRecord(const RTCMV_HeldRecord &) = delete;
    RTCMV_HeldRecord &operator=(const RTCMV_HeldRecord &) = delete;
};

// A message of class M together with the record it wraps: one allocation per message.
template <class M, void (*FreeRecord)(void *)>
class RTCMV_MessageWithRecord final : private RTCMV_HeldRecord<typename M::Record, FreeRecord>, public M
{
    using Record = typename M::Record;
    using Held = RTCMV_HeldRecord<Record, FreeRecord>;

public:
    explicit RTCMV_MessageWithRecord(const Record &record)
        : RTCMV_MessageWithRecord(record, std::is_constructible<M, Record *, bool>())
    {
    }

private:
    // The message does not own the record: the held record releases its block itself.
    RTCMV_MessageWithRecord(const Record &record, std::true_type) : Held(record), M(&this->held, false) {}
    RTCMV_MessageWithRecord(const Record &record, std::false_type)
        : Held(record), M(&this->held, nullptr, false)
    {
    }
};

// Wraps a decoded record in a new message object of class M that holds a shallow copy of it: the
// sub-record block passes to the copy, and is released here should the allocation fail.
template <class M, void (*FreeRecord)(void *) = &Nvt::Mesaro::RTCMV_free_record>
Message *RTCMV_wrapRecord(void *record)
{
    using Record = typename M::Record;
    Record *local = static_cast<Record *>(record);
    void *storage = nullptr;
    try {
        storage = ::operator new(sizeof(RTCMV_MessageWithRecord<M, FreeRecord>));
    } catch (...) {
        FreeRecord(local);
        throw;
    }
    try {
        return new (storage) RTCMV_MessageWithRecord<M, FreeRecord>(*local);
    } catch (...) {
        ::operator delete(storage);
        throw;
    }
}

// Assembles the raw text line of a message: one column per selected field, in field order,
// separated by Message::fieldSeparator.
class RTCMV_RawLine
{
public:
    explicit RTCMV_RawLine(const QVector<bool> &flags) : m_flags(flags) {}

    void byte(unsigned int value);
    void number(unsigned long long value);
    void number(long long value);
    void number(unsigned int value) { number(static_cast<unsigned long long>(value)); }
    void number(int value) { number(static_cast<long long>(value)); }
    void f64(double value);
    void numberOrDoNotUse(long long value, long long doNotUse);
    void text(const char *characters, unsigned int count);
    void subMessages(unsigned int count);
    void absent(); // an optional field that the message does not hold: an empty column

    template <typename T>
    void list(const T *values, unsigned int count)
    {
        if (!column())
            return;
        for (unsigned int i = 0; i < count; ++i) {
            if (i > 0)
                m_text += QLatin1Char(' ');
            appendNumber(values[i]);
        }
    }
    void byteList(const unsigned char *values, unsigned int count);

    QString take() { return std::move(m_text); }

private:
    bool column(); // moves to the next column; true when it is selected (its separator written)
    void appendNumber(unsigned long long value);
    void appendNumber(long long value);
    void appendNumber(unsigned int value) { appendNumber(static_cast<unsigned long long>(value)); }
    void appendNumber(int value) { appendNumber(static_cast<long long>(value)); }
    void appendNumber(unsigned short value) { appendNumber(static_cast<unsigned long long>(value)); }
    void appendNumber(short value) { appendNumber(static_cast<long long>(value)); }
    void appendNumber(signed char value) { appendNumber(static_cast<long long>(value)); }
    void appendNumber(unsigned char value) { appendNumber(static_cast<unsigned long long>(value)); }

    const QVector<bool> &m_flags;
    QString m_text;
    int m_position = 0;
    bool m_separatorPending = false;
};
