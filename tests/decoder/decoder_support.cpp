// Shared pieces of the decoder tests.
#include "decoder_support.h"

#include "RTCMV_messages.h"

#include <mesaroframework/MesaroEvent.h>

#include <cstring>
#include <map>
#include <stdexcept>

using namespace Nvt::Mesaro;

namespace {

std::string describe(const FormatInfo *format, const QString &text)
{
    std::string line = text.toStdString();
    if (format != RTCMV_FormatInfo::getInstance())
        line += " [foreign format]";
    return line;
}

// Reaches the protected access to another message's record.
class RecordPeek : public Message
{
public:
    RecordPeek() : Message(nullptr) {}
    const void *of(const Message *message) const { return getRawRepresentationOf(message); }
};

template <class M, class I>
MessageClass classEntry(uint32_t type, uint32_t kind)
{
    return {type, kind, I::getInstance(), M::className(), typeid(M)};
}

} // namespace

void RecordingSink::note(const Message *message)
{
    messages.push_back(message);
    classes.emplace_back(typeid(*message));
    infos.push_back(message->getMessageInfo());
    referenceCounts.push_back(message->getReferenceCount());
}

void RecordingSink::newMessageEarly(const Message *message)
{
    log.push_back("early");
    note(message);
}

void RecordingSink::newMessage(const Message *message)
{
    log.push_back("message");
    note(message);
    if (keepMessages)
        kept.emplace_back(message);
    if (throwFromNewMessage)
        throw std::runtime_error("sink failure");
}

void RecordingSink::newMessageLate(const Message *message)
{
    log.push_back("late");
    note(message);
}

void RecordingSink::newEvent(const MesaroEvent &event)
{
    log.push_back("event " + std::to_string(int(event.getType())) + " " + describe(event.getFormatInfo(), event.getText()));
}

void RecordingSink::newUnknownMessage(const FormatInfo *format, const QString &text)
{
    log.push_back("unknown " + describe(format, text));
}

void RecordingSink::clear()
{
    log.clear();
    messages.clear();
    classes.clear();
    infos.clear();
    referenceCounts.clear();
    kept.clear();
}

std::vector<std::string> publishedLog()
{
    return {"early", "message", "late"};
}

std::vector<std::string> unknownLog(unsigned type)
{
    const std::string number = std::to_string(type);
    return {"event 3 RTCMV: Message type " + number + " unknown to PC software", "unknown Message type " + number};
}

std::vector<std::string> codecErrorLog(int32_t code)
{
    return {std::string("event 4 RTCMV: ") + RTCMV_error_name(code)};
}

std::vector<Sample> makeSamples(uint64_t seed, int perType)
{
    CodecSupport::RecordGenerator generator(seed);
    std::vector<Sample> samples;
    for (uint32_t type : CodecSupport::messageTypes()) {
        for (int i = 0; i < perType; ++i) {
            std::shared_ptr<RTCMV_record_u> record(new RTCMV_record_u, [](RTCMV_record_u *r) {
                RTCMV_free_record(r);
                delete r;
            });
            generator.generate(type, record.get());
            std::vector<unsigned char> bytes = CodecSupport::encodeMessage(record.get());
            if (bytes.empty())
                throw std::logic_error("the encoder refused a generated message of type " + std::to_string(type));
            samples.push_back({type, std::move(bytes), record});
        }
    }
    return samples;
}

const Sample &sampleOf(const std::vector<Sample> &samples, uint32_t type)
{
    for (const Sample &sample : samples) {
        if (sample.type == type)
            return sample;
    }
    throw std::logic_error("no sample of type " + std::to_string(type));
}

CodecAnswer codecAnswer(const unsigned char *buffer, uint16_t size)
{
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    RTCMV_record_u record;
    std::memset(&record, 0, sizeof record);
    const int32_t result = RTCMV_decode(&context, buffer, size, &record);
    RTCMV_free_record(&record);
    return {result, context.lastType};
}

const void *recordOf(const Message *message)
{
    static const RecordPeek peek;
    return peek.of(message);
}

#define MESSAGE_CLASS(N) \
    classEntry<RTCMV_Message_Type_##N##_Message, RTCMV_Message_Type_##N##_MessageInfo>(N, RTCMV_KIND_Message_Type_##N)

const MessageClass &messageClassOf(uint32_t type)
{
    static const std::map<uint32_t, MessageClass> classes = [] {
        const MessageClass list[] = {
            MESSAGE_CLASS(1),  MESSAGE_CLASS(3),  MESSAGE_CLASS(9),  MESSAGE_CLASS(15), MESSAGE_CLASS(16),
            MESSAGE_CLASS(17), MESSAGE_CLASS(18), MESSAGE_CLASS(19), MESSAGE_CLASS(20), MESSAGE_CLASS(21),
            MESSAGE_CLASS(22), MESSAGE_CLASS(23), MESSAGE_CLASS(24), MESSAGE_CLASS(31), MESSAGE_CLASS(32),
            MESSAGE_CLASS(34), MESSAGE_CLASS(38), MESSAGE_CLASS(39), MESSAGE_CLASS(41), MESSAGE_CLASS(44),
            MESSAGE_CLASS(48), MESSAGE_CLASS(49), MESSAGE_CLASS(50), MESSAGE_CLASS(51), MESSAGE_CLASS(52),
            MESSAGE_CLASS(53), MESSAGE_CLASS(54), MESSAGE_CLASS(55), MESSAGE_CLASS(56), MESSAGE_CLASS(57),
            MESSAGE_CLASS(58), MESSAGE_CLASS(59)};
        std::map<uint32_t, MessageClass> result;
        for (const MessageClass &entry : list)
            result.emplace(entry.type, entry);
        return result;
    }();
    return classes.at(type);
}

const std::vector<const MessageInfo *> &registrationOrder()
{
    static const std::vector<const MessageInfo *> order = {
        RTCMV_Type_15_MessageInfo::getInstance(),          RTCMV_DGNSS_MessageInfo::getInstance(),
        RTCMV_RTK_18_MessageInfo::getInstance(),           RTCMV_RTK_19_MessageInfo::getInstance(),
        RTCMV_RTK_20_MessageInfo::getInstance(),           RTCMV_RTK_21_MessageInfo::getInstance(),
        RTCMV_WACorrection_MessageInfo::getInstance(),     RTCMV_JPL_46_MessageInfo::getInstance(),
        RTCMV_JPL_48_MessageInfo::getInstance(),           RTCMV_JPL_49_MessageInfo::getInstance(),
        RTCMV_OCDS_54_MessageInfo::getInstance(),          RTCMV_OCDS_55_MessageInfo::getInstance(),
        RTCMV_OCDS_56_MessageInfo::getInstance(),          RTCMV_Message_Type_3_MessageInfo::getInstance(),
        RTCMV_Message_Type_16_MessageInfo::getInstance(),  RTCMV_Message_Type_17_MessageInfo::getInstance(),
        RTCMV_Message_Type_22_MessageInfo::getInstance(),  RTCMV_Message_Type_23_MessageInfo::getInstance(),
        RTCMV_Message_Type_24_MessageInfo::getInstance(),  RTCMV_Message_Type_32_MessageInfo::getInstance(),
        RTCMV_Message_Type_39_MessageInfo::getInstance(),  RTCMV_Message_Type_41_MessageInfo::getInstance(),
        RTCMV_Message_Type_51_MessageInfo::getInstance(),  RTCMV_Message_Type_52_MessageInfo::getInstance(),
        RTCMV_Message_Type_53_MessageInfo::getInstance(),  RTCMV_Message_Type_57_MessageInfo::getInstance(),
        RTCMV_Message_Type_58_MessageInfo::getInstance(),  RTCMV_Message_Type_59_MessageInfo::getInstance(),
        RTCMV_Message_Type_1_MessageInfo::getInstance(),   RTCMV_Message_Type_9_MessageInfo::getInstance(),
        RTCMV_Message_Type_15_MessageInfo::getInstance(),  RTCMV_Message_Type_18_MessageInfo::getInstance(),
        RTCMV_Message_Type_19_MessageInfo::getInstance(),  RTCMV_Message_Type_20_MessageInfo::getInstance(),
        RTCMV_Message_Type_21_MessageInfo::getInstance(),  RTCMV_Message_Type_31_MessageInfo::getInstance(),
        RTCMV_Message_Type_34_MessageInfo::getInstance(),  RTCMV_Message_Type_38_MessageInfo::getInstance(),
        RTCMV_Message_Type_44_MessageInfo::getInstance(),  RTCMV_Message_Type_48_MessageInfo::getInstance(),
        RTCMV_Message_Type_49_MessageInfo::getInstance(),  RTCMV_Message_Type_50_MessageInfo::getInstance(),
        RTCMV_Message_Type_54_MessageInfo::getInstance(),  RTCMV_Message_Type_55_MessageInfo::getInstance(),
        RTCMV_Message_Type_56_MessageInfo::getInstance()};
    return order;
}
