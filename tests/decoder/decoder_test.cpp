// RTCMVDecoder (and RTCM2XDecoder, on the same decoder template): publication of every message type
// through the three stages as the class of its type, refusals, their events and the memory they
// leave behind, message enabling (by the published numbers), length clamping and the Qt slot.
#include "codec_support.h"

#include <RTCM2XDecoder.h>
#include <RTCMVDecoder.h>
#include <RTCMV_messages.h>
#include <mesaroframework/MesaroEvent.h>
#include <mesaroframework/MessageSink.h>
#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <climits>
#include <malloc.h>
#include <memory>
#include <stdexcept>

using namespace Nvt::Mesaro;
using Log = std::vector<std::string>;

namespace {

// The enable numbers of the message types as the format publishes them: 14 onwards in this order
// (1 to 13 are the sub-records).
const unsigned MessageTypes[32] = {3,  16, 17, 22, 23, 24, 32, 39, 41, 51, 52, 53, 57, 58, 59, 1,
                                   9,  15, 18, 19, 20, 21, 31, 34, 38, 44, 48, 49, 50, 54, 55, 56};

int numberOf(uint32_t type)
{
    const auto found = std::find(std::begin(MessageTypes), std::end(MessageTypes), type);
    return found != std::end(MessageTypes) ? int(found - std::begin(MessageTypes)) + 14 : 0;
}

// Logs every publication as one line: the stage with the descriptor read while the message is
// published (with only the decoder holding it), or the event's type and text.
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
    void newEvent(const MesaroEvent &e) override { log.push_back("event " + std::to_string(int(e.getType())) + " " + e.getText().toStdString()); }
    void newUnknownMessage(const FormatInfo *, const QString &text) override { log.push_back("unknown " + text.toStdString()); }
    void note(const std::string &stage, const Message *m)
    {
        EXPECT_EQ(m->getReferenceCount(), keep && stage == "late" ? 2 : 1) << stage;
        log.push_back(stage + " " + m->getMessageInfo()->getName().toStdString() + (log.empty() || m == last ? "" : " other"));
        last = m;
    }

    bool keep = false, throwing = false;
    Log log;
    const Message *last = nullptr; // gone after the decode unless kept
    std::vector<ReferencePointer<const Message>> kept;
};

// One message through the three stages, of the class registered for its type.
Log published(uint32_t type)
{
    const std::string name = " Message_Type_" + std::to_string(type);
    return {"early" + name, "message" + name, "late" + name};
}

Log refused(int32_t code)
{
    if (code != RTCMV_ERR_INVALID_MESSAGE)
        return {std::string("event 4 RTCMV: ") + RTCMV_error_name(code)};
    return {"event 3 RTCMV: Message type 0 unknown to PC software", "unknown Message type 0"};
}

struct Sample
{
    uint32_t type;
    std::vector<unsigned char> bytes;
};

std::vector<Sample> samples(uint64_t seed, int perType, const CodecTables &format = RTCMV_TABLES)
{
    CodecSupport::RecordGenerator generator(seed);
    std::vector<Sample> all;
    for (uint32_t type : CodecSupport::messageTypes(format))
        for (int i = 0; i < perType; ++i) {
            CodecSupport::AnyRecord record;
            generator.generate(format, type, &record);
            all.push_back({type, CodecSupport::encodeMessage(&record, format)});
            format.freeRecord(&record);
        }
    return all;
}

// What the codec answers, every message type enabled.
int32_t codecAnswer(const std::vector<unsigned char> &bytes, const CodecTables &format = RTCMV_TABLES)
{
    CodecSupport::AnyRecord record{};
    const int32_t result = format.decode(nullptr, bytes.data(), uint16_t(bytes.size()), &record);
    format.freeRecord(&record);
    return result;
}

template <class D = RTCMVDecoder>
struct Decoder
{
    Decoder() { decoder.addSink(&sink); }
    ~Decoder() { decoder.removeSink(&sink); }
    int32_t decode(const std::vector<unsigned char> &bytes, uint length = UINT_MAX)
    {
        sink.log.clear();
        return decoder.decodeMessage(bytes.data(), length == UINT_MAX ? uint(bytes.size()) : length);
    }
    std::vector<bool> enabled() const
    {
        std::vector<bool> states;
        for (int e = 1; e <= 45; ++e)
            states.push_back(decoder.isEnabledMessageEnum(e));
        return states;
    }
    D decoder{nullptr};
    Sink sink;
};

// Every type of the format published by its decoder D, kept or released; a throwing sink.
template <class D>
void expectPublishesEveryType(const CodecTables &format, uint32_t keptType)
{
    SCOPED_TRACE(format.format);
    Decoder<D> d;
    const qint64 before = MemLeakTracer::totalLive();
    for (const Sample &sample : samples(1, 12, format)) {
        d.sink.keep = sample.type == keptType;
        EXPECT_EQ(d.decode(sample.bytes), codecAnswer(sample.bytes, format));
        ASSERT_EQ(d.sink.log, published(sample.type));
        // A kept message owns its own copy of the decoded record; the others are gone.
        EXPECT_EQ(MemLeakTracer::totalLive(), before + qint64(d.sink.kept.size()));
        if (d.sink.keep) {
            CodecSupport::AnyRecord decoded;
            format.decode(nullptr, sample.bytes.data(), uint16_t(sample.bytes.size()), &decoded);
            EXPECT_EQ(CodecSupport::firstDifference(&decoded, d.sink.kept.back()->getCodecRecord(), format), "");
            format.freeRecord(&decoded);
        }
    }
    d.sink.kept.clear();
    // A sink that throws: the exception reaches the caller, the message is released, the decoder goes on.
    const Sample one = samples(3, 1, format).front();
    d.sink.throwing = true;
    EXPECT_THROW(d.decode(one.bytes), std::runtime_error);
    Log stopped = published(one.type);
    stopped.pop_back();
    EXPECT_EQ(d.sink.log, stopped);
    d.sink.throwing = false;
    EXPECT_GT(d.decode(one.bytes), 0);
    EXPECT_EQ(MemLeakTracer::totalLive(), before);
}

} // namespace

TEST(Decoder, PublishesEveryTypeAsItsOwnMessageAndReleasesIt)
{
    expectPublishesEveryType<RTCMVDecoder>(RTCMV_TABLES, 17);
    expectPublishesEveryType<RTCM2XDecoder>(RTCM2X_TABLES, 7);
}

TEST(Decoder, RefusalsGiveTheCodecsCodeAndOneEventAndHoldNothing)
{
    Decoder<> d;
    std::vector<unsigned char> other = samples(4, 1).front().bytes;
    for (unsigned type = 0; type < 64; ++type) {
        other[1] = static_cast<unsigned char>((other[1] & 0x03) | (type << 2));
        if (numberOf(type) == 0) {
            EXPECT_EQ(d.decode(other), RTCMV_ERR_INVALID_MESSAGE);
            EXPECT_EQ(d.sink.log[0], "event 3 RTCMV: Message type " + std::to_string(type) + " unknown to PC software");
            EXPECT_EQ(d.sink.log[1], "unknown Message type " + std::to_string(type));
        }
    }
    // Too short for the type field, or no buffer at all: type 0, not what the previous call saw.
    for (uint size : {0u, 1u}) {
        EXPECT_EQ(d.decode(other, size), RTCMV_ERR_INVALID_MESSAGE);
        EXPECT_EQ(d.sink.log, refused(RTCMV_ERR_INVALID_MESSAGE));
    }
    d.sink.log.clear();
    EXPECT_EQ(d.decoder.decodeMessage(nullptr, 100), RTCMV_ERR_INVALID_MESSAGE);
    EXPECT_EQ(d.sink.log, refused(RTCMV_ERR_INVALID_MESSAGE));

    // Every cut of messages of every type, some of which held sub-records when they were refused,
    // twice: the second time the heap in use does not grow (the release build's own leak check).
    const qint64 live = MemLeakTracer::totalLive();
    const std::vector<Sample> all = samples(5, 3);
    for (int pass = 0; pass < 2; ++pass) {
        const size_t heapBefore = mallinfo2().uordblks;
        for (const Sample &sample : all)
            for (size_t size = 2; size < sample.bytes.size(); ++size) {
                const std::vector<unsigned char> prefix(sample.bytes.begin(), sample.bytes.begin() + long(size));
                ASSERT_EQ(d.decode(prefix), codecAnswer(prefix));
                EXPECT_EQ(d.sink.log, refused(codecAnswer(prefix)));
            }
        EXPECT_LT(mallinfo2().uordblks, heapBefore + 4096);
    }
    EXPECT_EQ(MemLeakTracer::totalLive(), live);

    // Lengths of 65536 and more are clamped, not wrapped; the slot is invocable by name.
    for (const Sample &sample : samples(21, 1)) {
        std::vector<unsigned char> large(70000, 0);
        std::copy(sample.bytes.begin(), sample.bytes.end(), large.begin());
        for (uint length : {65535u, 65536u, 65538u, 131073u, UINT_MAX - 1})
            EXPECT_EQ(d.decode(large, length), codecAnswer(sample.bytes)) << sample.type << " " << length;
        int32_t result = 0;
        ASSERT_TRUE(QMetaObject::invokeMethod(&d.decoder, "decodeMessage", Qt::DirectConnection, Q_RETURN_ARG(int32_t, result),
                                              Q_ARG(const uint8_t *, large.data()), Q_ARG(uint, uint(sample.bytes.size()))));
        EXPECT_EQ(result, codecAnswer(sample.bytes));
    }
}

// (The class each number publishes: the log names it.)
TEST(Decoder, EachNumberEnablesExactlyItsMessageType)
{
    Decoder<> d;
    EXPECT_EQ(d.decoder.getName(), QStringLiteral("RTCMV"));
    EXPECT_EQ(d.decoder.getMessageEnums().size(), 45);
    const std::vector<Sample> all = samples(11, 1);
    // Numbers 14 to 45 are the messages, switched on at start; 1 to 13 the sub-records.
    std::vector<bool> fresh(45, true);
    std::fill(fresh.begin(), fresh.begin() + 13, false);
    ASSERT_EQ(d.enabled(), fresh);
    for (int e = 1; e <= 45; ++e) {
        EXPECT_EQ(d.decoder.getMessageEnum(d.decoder.getMessageInfoForEnum(e)), e);
        std::vector<bool> flipped = fresh;
        flipped[size_t(e - 1)] = !fresh[size_t(e - 1)];
        for (int twice = 0; twice < 2; ++twice) {
            flipped[size_t(e - 1)] ? d.decoder.enableMessageEnum(e) : d.decoder.disableMessageEnum(e);
            EXPECT_EQ(d.enabled(), flipped) << e;
        }
        for (const Sample &sample : all) {
            const int32_t result = d.decode(sample.bytes);
            EXPECT_EQ(d.sink.log, numberOf(sample.type) == e ? refused(result) : published(sample.type)) << e;
            EXPECT_EQ(result, numberOf(sample.type) == e ? -541 - e : codecAnswer(sample.bytes));
        }
        fresh[size_t(e - 1)] ? d.decoder.enableMessageEnum(e) : d.decoder.disableMessageEnum(e);
    }
    // All on and all off spare the sub-record bits; numbers outside 1..45 change nothing.
    d.decoder.enableMessageEnum(3);
    d.decoder.disableAllMessages();
    std::vector<bool> only3(45, false);
    only3[2] = true;
    for (int e : {0, -1, 46, 47, 48, 55, 56, 63, 64, INT_MIN, INT_MAX}) {
        d.decoder.enableMessageEnum(e);
        EXPECT_FALSE(d.decoder.isEnabledMessageEnum(e));
    }
    EXPECT_EQ(d.enabled(), only3);
    d.decoder.enableAllMessages();
    fresh[2] = true;
    EXPECT_EQ(d.enabled(), fresh);
}
