// RTCMVDecoder: publication of every message type through the three stages, refusals and their
// events, message enabling, length clamping, the registry and the Qt meta-object.
#include "codec_support.h"

#include <RTCMVDecoder.h>
#include <RTCMV_messages.h>
#include <mesaroframework/MesaroEvent.h>
#include <mesaroframework/MessageSink.h>
#include <nvtguibase/MemLeakTracer.h>

#include <QtCore/QMetaMethod>

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <stdexcept>

using namespace Nvt::Mesaro;
using Log = std::vector<std::string>;

namespace {

// Records names in registration order, as the format publishes them: the number of each is its place.
const char *const Registered[45] = {
    "Type_15", "DGNSS", "RTK_18", "RTK_19", "RTK_20", "RTK_21", "WACorrection", "JPL_46", "JPL_48",
    "JPL_49", "OCDS_54", "OCDS_55", "OCDS_56", "Message_Type_3", "Message_Type_16", "Message_Type_17",
    "Message_Type_22", "Message_Type_23", "Message_Type_24", "Message_Type_32", "Message_Type_39",
    "Message_Type_41", "Message_Type_51", "Message_Type_52", "Message_Type_53", "Message_Type_57",
    "Message_Type_58", "Message_Type_59", "Message_Type_1", "Message_Type_9", "Message_Type_15",
    "Message_Type_18", "Message_Type_19", "Message_Type_20", "Message_Type_21", "Message_Type_31",
    "Message_Type_34", "Message_Type_38", "Message_Type_44", "Message_Type_48", "Message_Type_49",
    "Message_Type_50", "Message_Type_54", "Message_Type_55", "Message_Type_56"};

int numberOf(uint32_t type)
{
    const std::string name = "Message_Type_" + std::to_string(type);
    for (int e = 0; e < 45; ++e) {
        if (name == Registered[e])
            return e + 1;
    }
    return 0;
}

QString classOf(uint32_t type)
{
    return QStringLiteral("RTCMV_Message_Type_%1_Message").arg(type);
}

// Logs every publication as one line.
struct Sink : MessageSink
{
    void newMessageEarly(const Message *m) override { note("early", m); }
    void newMessage(const Message *m) override
    {
        note("message", m);
        if (keep)
            kept.emplace_back(m);
        if (throwing)
            throw std::runtime_error("sink failure");
    }
    void newMessageLate(const Message *m) override { note("late", m); }
    void newEvent(const MesaroEvent &event) override
    {
        log.push_back("event " + std::to_string(int(event.getType())) + " " + event.getText().toStdString());
    }
    void newUnknownMessage(const FormatInfo *, const QString &text) override { log.push_back("unknown " + text.toStdString()); }
    void note(const char *stage, const Message *m)
    {
        log.push_back(stage);
        messages.push_back(m);
        infos.push_back(m->getMessageInfo());
        EXPECT_EQ(m->getReferenceCount(), keep && log.size() > 2 ? 2 : 1) << stage;
    }

    bool keep = false;
    bool throwing = false;
    Log log;
    std::vector<const Message *> messages; // gone after the decode unless kept
    std::vector<const MessageInfo *> infos;
    std::vector<ReferencePointer<const Message>> kept;
};

const Log Published = {"early", "message", "late"};

Log unknown(unsigned type)
{
    const std::string n = std::to_string(type);
    return {"event 3 RTCMV: Message type " + n + " unknown to PC software", "unknown Message type " + n};
}

Log refused(int32_t code)
{
    return {std::string("event 4 RTCMV: ") + RTCMV_error_name(code)};
}

struct Sample
{
    uint32_t type;
    std::vector<unsigned char> bytes;
    std::shared_ptr<RTCMV_record_u> record;
};

std::vector<Sample> samples(uint64_t seed, int perType)
{
    CodecSupport::RecordGenerator generator(seed);
    std::vector<Sample> all;
    for (uint32_t type : CodecSupport::messageTypes()) {
        for (int i = 0; i < perType; ++i) {
            std::shared_ptr<RTCMV_record_u> record(new RTCMV_record_u, [](RTCMV_record_u *r) {
                RTCMV_free_record(r);
                delete r;
            });
            generator.generate(type, record.get());
            all.push_back({type, CodecSupport::encodeMessage(record.get()), record});
        }
    }
    return all;
}

int32_t codecAnswer(const std::vector<unsigned char> &bytes)
{
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    RTCMV_record_u record{};
    const int32_t result = RTCMV_decode(&context, bytes.data(), uint16_t(bytes.size()), &record);
    RTCMV_free_record(&record);
    return result;
}

struct Decoder
{
    Decoder() { decoder.addSink(&sink); }
    ~Decoder() { decoder.removeSink(&sink); }
    int32_t decode(const std::vector<unsigned char> &bytes, uint length = UINT_MAX)
    {
        sink.log.clear();
        sink.messages.clear();
        sink.infos.clear();
        return decoder.decodeMessage(bytes.data(), length == UINT_MAX ? uint(bytes.size()) : length);
    }
    RTCMVDecoder decoder{nullptr};
    Sink sink;
};

std::vector<bool> enabledNumbers(const RTCMVDecoder &decoder)
{
    std::vector<bool> states;
    for (int e = 1; e <= 45; ++e)
        states.push_back(decoder.isEnabledMessageEnum(e));
    return states;
}

} // namespace

TEST(Decoder, PublishesEveryTypeAsItsOwnClassAndReleasesIt)
{
    Decoder d;
    const qint64 totalBefore = MemLeakTracer::totalLive();
    for (const Sample &sample : samples(1, 12)) {
        SCOPED_TRACE(sample.type);
        const qint64 before = MemLeakTracer::liveCount(classOf(sample.type));
        d.sink.keep = sample.type == 17;
        EXPECT_EQ(d.decode(sample.bytes), codecAnswer(sample.bytes));
        ASSERT_EQ(d.sink.log, Published);
        const Message *m = d.sink.messages[0];
        EXPECT_EQ(d.sink.messages, std::vector<const Message *>(3, m));
        EXPECT_EQ(d.sink.infos, std::vector<const MessageInfo *>(3, d.decoder.getMessageInfoForEnum(numberOf(sample.type))));
        if (d.sink.keep) {
            // A kept message owns its own copy of the decoded record.
            EXPECT_EQ(MemLeakTracer::liveCount(classOf(sample.type)), before + 1);
            EXPECT_NE(m->getCodecRecord(), static_cast<const void *>(sample.record.get()));
            EXPECT_EQ(CodecSupport::firstDifference(sample.record.get(), m->getCodecRecord()), "");
        } else {
            EXPECT_EQ(MemLeakTracer::liveCount(classOf(sample.type)), before);
        }
    }
    d.sink.kept.clear();
    EXPECT_EQ(MemLeakTracer::totalLive(), totalBefore);

    // A sink that throws: the exception reaches the caller, the message is released, the decoder goes on.
    const Sample one = samples(3, 1).front();
    d.sink.throwing = true;
    EXPECT_THROW(d.decode(one.bytes), std::runtime_error);
    EXPECT_EQ(d.sink.log, (Log{"early", "message"}));
    d.sink.throwing = false;
    EXPECT_GT(d.decode(one.bytes), 0);
    EXPECT_EQ(MemLeakTracer::totalLive(), totalBefore);
}

TEST(Decoder, RefusalsGiveTheCodecsCodeAndOneEvent)
{
    Decoder d;
    const std::vector<Sample> all = samples(4, 2);
    std::vector<unsigned char> other = all.front().bytes;
    for (unsigned type = 0; type < 64; ++type) {
        other[1] = static_cast<unsigned char>((other[1] & 0x03) | (type << 2));
        if (numberOf(type) == 0) {
            EXPECT_EQ(d.decode(other), RTCMV_ERR_INVALID_MESSAGE);
            EXPECT_EQ(d.sink.log, unknown(type));
        }
    }
    // Too short for the type field, or no buffer at all: type 0, not what the previous call saw.
    for (uint size : {0u, 1u}) {
        EXPECT_EQ(d.decode(other, size), RTCMV_ERR_INVALID_MESSAGE);
        EXPECT_EQ(d.sink.log, unknown(0));
    }
    d.sink.log.clear();
    EXPECT_EQ(d.decoder.decodeMessage(nullptr, 100), RTCMV_ERR_INVALID_MESSAGE);
    EXPECT_EQ(d.sink.log, unknown(0));

    const qint64 liveBefore = MemLeakTracer::totalLive();
    for (const Sample &sample : all) {
        for (size_t size = 2; size < sample.bytes.size(); ++size) {
            const std::vector<unsigned char> prefix(sample.bytes.begin(), sample.bytes.begin() + long(size));
            const int32_t expected = codecAnswer(prefix);
            ASSERT_LT(expected, 0);
            EXPECT_EQ(d.decode(prefix), expected);
            EXPECT_EQ(d.sink.log, refused(expected));
        }
    }
    EXPECT_EQ(MemLeakTracer::totalLive(), liveBefore);
}

TEST(Decoder, EachNumberEnablesExactlyItsMessageType)
{
    Decoder d;
    const std::vector<Sample> all = samples(11, 1);
    // Numbers 14 to 45 are the messages, switched on at start; 1 to 13 the sub-records.
    std::vector<bool> fresh(45, true);
    std::fill(fresh.begin(), fresh.begin() + 13, false);
    ASSERT_EQ(enabledNumbers(d.decoder), fresh);
    for (int e = 1; e <= 45; ++e) {
        std::vector<bool> flipped = fresh;
        flipped[size_t(e - 1)] = !fresh[size_t(e - 1)];
        for (int twice = 0; twice < 2; ++twice) {
            flipped[size_t(e - 1)] ? d.decoder.enableMessageEnum(e) : d.decoder.disableMessageEnum(e);
            EXPECT_EQ(enabledNumbers(d.decoder), flipped) << e;
        }
        for (const Sample &sample : all) {
            const int32_t result = d.decode(sample.bytes);
            if (numberOf(sample.type) == e) {
                EXPECT_EQ(result, -541 - e);
                EXPECT_EQ(d.sink.log, refused(result));
            } else {
                EXPECT_EQ(d.sink.log, Published) << sample.type << " with number " << e << " off";
            }
        }
        fresh[size_t(e - 1)] ? d.decoder.enableMessageEnum(e) : d.decoder.disableMessageEnum(e);
    }
    // All on and all off spare the sub-record bits; numbers outside 1..45 change nothing.
    d.decoder.enableMessageEnum(3);
    d.decoder.disableAllMessages();
    std::vector<bool> only3(45, false);
    only3[2] = true;
    EXPECT_EQ(enabledNumbers(d.decoder), only3);
    for (int e : {0, -1, 46, 47, 48, 55, 56, 63, 64, INT_MIN, INT_MAX}) {
        d.decoder.enableMessageEnum(e);
        EXPECT_FALSE(d.decoder.isEnabledMessageEnum(e));
    }
    EXPECT_EQ(enabledNumbers(d.decoder), only3);
    d.decoder.enableAllMessages();
    fresh[2] = true;
    EXPECT_EQ(enabledNumbers(d.decoder), fresh);
    RTCMVDecoder other(nullptr);
    EXPECT_GT(other.decodeMessage(all.front().bytes.data(), uint(all.front().bytes.size())), 0);
}

TEST(Decoder, InterfaceRegistryAndLengths)
{
    Decoder d;
    QVector<int> numbers;
    for (int e = 1; e <= 45; ++e) {
        numbers.append(e);
        EXPECT_EQ(d.decoder.getMessageInfoForEnum(e)->getName(), QLatin1String(Registered[e - 1]));
        EXPECT_EQ(d.decoder.getMessageEnum(d.decoder.getMessageInfoForEnum(e)), e);
    }
    EXPECT_EQ(d.decoder.getMessageEnums(), numbers);
    EXPECT_EQ(d.decoder.getName(), QStringLiteral("RTCMV"));

    // Lengths of 65536 and more are clamped, not wrapped.
    for (const Sample &sample : samples(21, 1)) {
        std::vector<unsigned char> large(70000, 0);
        std::copy(sample.bytes.begin(), sample.bytes.end(), large.begin());
        for (uint length : {65535u, 65536u, 65538u, 131073u, UINT_MAX - 1})
            EXPECT_EQ(d.decode(large, length), codecAnswer(sample.bytes)) << sample.type << " " << length;
    }

    // Exactly one slot, invocable through the meta-object.
    const QMetaObject &meta = RTCMVDecoder::staticMetaObject;
    EXPECT_EQ(meta.superClass(), &AbstractDecoder::staticMetaObject);
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 1);
    const QMetaMethod slot = meta.method(meta.methodOffset());
    EXPECT_EQ(slot.methodSignature(), QByteArray("decodeMessage(const uint8_t*,uint)"));
    EXPECT_STREQ(slot.typeName(), "int32_t");
    const std::vector<unsigned char> bytes = samples(22, 1).front().bytes;
    const uint8_t *buffer = bytes.data();
    int32_t result = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(&d.decoder, "decodeMessage", Qt::DirectConnection, Q_RETURN_ARG(int32_t, result),
                                          Q_ARG(const uint8_t *, buffer), Q_ARG(uint, uint(bytes.size()))));
    EXPECT_EQ(result, codecAnswer(bytes));

    // The tracer counts decoders; a decoder dies with its parent.
    const QString name = QStringLiteral("RTCMVDecoder");
    EXPECT_EQ(MemLeakTracer::liveCount(name), 1);
    auto *parent = new QObject;
    new RTCMVDecoder(parent);
    EXPECT_EQ(MemLeakTracer::liveCount(name), 2);
    delete parent;
    EXPECT_EQ(MemLeakTracer::liveCount(name), 1);
}
