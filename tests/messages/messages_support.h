// Helpers shared by the message and catalogue tests: the message description as JSON, decoded
// random messages of every type, the record behind a message and the expected value of a field.
#pragma once

#include "RTCMV_messages.h"
#include "codec_support.h"

#include <mesaroframework/FieldValue.h>
#include <mesaroframework/MesaroEvent.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include <functional>
#include <memory>
#include <ostream>
#include <type_traits>

// Readable failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const FieldValue &value, std::ostream *out)
{
    *out << FieldType::kindName(value.kind()).toStdString() << '(' << value.width() << ") "
         << value.toString().toStdString();
}

namespace MessagesTest {

using Nvt::Mesaro::RTCMV_field_info_s;
using Nvt::Mesaro::RTCMV_record_info_s;
using Nvt::Mesaro::RTCMV_record_u;

// The 45 records of the description in registration order, each with its "fields".
const QJsonArray &descriptionRecords();
QJsonObject describedRecord(const QString &name);

// The registered descriptor of a record ("Message_Type_1", "DGNSS") and one of its fields.
const MessageInfo *messageInfo(const QString &recordName);
const FieldInfo *fieldInfo(const QString &recordName, const QString &fieldName);

// The codec record a message object wraps.
const void *recordOf(const Message *message);

// A random valid message of the type, encoded and decoded again, wrapped by RTCMV_createMessage.
// `decoded` keeps the decoded record; the message owns a copy of it and the sub-record block.
std::unique_ptr<Message> decodedMessage(uint32_t messageType, CodecSupport::RecordGenerator &generator,
                                        RTCMV_record_u &decoded);

// The value that field `index` of `record` must give, made from the layout and the description's
// type and width of the field (not for sub-message fields).
FieldValue expectedValue(const void *record, const RTCMV_field_info_s &layout, const QJsonObject &field,
                         uint32_t index);

// A message of class M that owns a fresh record of `kind`, filled by `fill`.
template <class M>
std::unique_ptr<M> ownedMessage(uint32_t kind, const std::function<void(typename M::Record &)> &fill = {})
{
    auto *record = new typename M::Record;
    Nvt::Mesaro::RTCMV_init_record(record, kind);
    if (fill)
        fill(*record);
    if constexpr (std::is_constructible<M, typename M::Record *, bool>::value)
        return std::unique_ptr<M>(new M(record, true));
    else
        return std::unique_ptr<M>(new M(record, nullptr, true));
}

// The text of the field-access event that `call` throws; "no event" when it throws none.
QString eventText(const std::function<void()> &call);

} // namespace MessagesTest
