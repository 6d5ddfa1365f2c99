// Publication of decoded messages of every type: class, three stages, result, and the lifetime
// of the message object under the references the sink holds.
#include "decoder_support.h"

#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(DecoderPublication, EveryTypeReachesTheSinkAsItsOwnClass)
{
    DecoderWithSink d;
    for (const Sample &sample : makeSamples(1, 24)) {
        SCOPED_TRACE("message type " + std::to_string(sample.type));
        const MessageClass &expected = messageClassOf(sample.type);
        const qint64 liveBefore = MemLeakTracer::liveCount(expected.className);
        d.sink.clear();

        const int32_t result = d.decode(sample.bytes);

        // The bit count of the codec itself, not a byte count.
        EXPECT_EQ(result, codecAnswer(sample.bytes.data(), uint16_t(sample.bytes.size())).result);
        EXPECT_GT(result, int32_t(sample.bytes.size() - 1) * 8);
        EXPECT_LE(result, int32_t(sample.bytes.size()) * 8);
        if (sample.type == 1) { // 48 header bits and 40 per correction
            EXPECT_EQ(result, 48 + 40 * int32_t(sample.record->Message_Type_1.Ns));
        }
        ASSERT_EQ(d.sink.log, publishedLog());
        EXPECT_EQ(d.sink.messages[1], d.sink.messages[0]);
        EXPECT_EQ(d.sink.messages[2], d.sink.messages[0]);
        for (int stage = 0; stage < 3; ++stage) {
            EXPECT_EQ(d.sink.classes[stage], expected.cppClass);
            EXPECT_EQ(d.sink.infos[stage], expected.info);
            // The decoder's own reference, and no other.
            EXPECT_EQ(d.sink.referenceCounts[stage], 1);
        }
        // Without a reference in the sink the message is gone once the call returns.
        EXPECT_EQ(MemLeakTracer::liveCount(expected.className), liveBefore);
    }
}

TEST(DecoderPublication, KeptMessageHoldsTheDecodedRecordAndDiesWithItsLastReference)
{
    DecoderWithSink d;
    d.sink.keepMessages = true;
    const std::vector<Sample> samples = makeSamples(2, 3);
    const QString firstClass = messageClassOf(samples.front().type).className;
    const qint64 totalBefore = MemLeakTracer::totalLive();
    for (const Sample &sample : samples) {
        SCOPED_TRACE("message type " + std::to_string(sample.type));
        const QString className = messageClassOf(sample.type).className;
        const qint64 liveBefore = MemLeakTracer::liveCount(className);
        ASSERT_GT(d.decode(sample.bytes), 0);

        const Message *message = d.sink.kept.back().get();
        EXPECT_EQ(message->getReferenceCount(), 1);
        EXPECT_EQ(MemLeakTracer::liveCount(className), liveBefore + 1);
        // The object owns a copy of the record, equal to what was encoded.
        ASSERT_NE(recordOf(message), nullptr);
        EXPECT_NE(recordOf(message), static_cast<const void *>(sample.record.get()));
        EXPECT_EQ(CodecSupport::firstDifference(sample.record.get(), recordOf(message)), "");
    }

    // A second holder keeps one message alive past the sink's references.
    const ReferencePointer<const Message> extra(d.sink.kept.front().get());
    const qint64 liveWithAll = MemLeakTracer::liveCount(firstClass);
    d.sink.kept.clear();
    EXPECT_EQ(MemLeakTracer::liveCount(firstClass), liveWithAll - 2); // three samples per type, one kept
    EXPECT_EQ(extra->getReferenceCount(), 1);
    EXPECT_EQ(MemLeakTracer::totalLive(), totalBefore + 1);
}

TEST(DecoderPublication, SinkThrowingFromNewMessageStillReleasesTheMessage)
{
    DecoderWithSink d;
    const std::vector<Sample> samples = makeSamples(3, 1);
    for (const Sample &sample : samples) {
        SCOPED_TRACE("message type " + std::to_string(sample.type));
        const QString className = messageClassOf(sample.type).className;
        const qint64 liveBefore = MemLeakTracer::liveCount(className);
        d.sink.clear();
        d.sink.throwFromNewMessage = true;
        EXPECT_THROW(d.decode(sample.bytes), std::runtime_error);
        EXPECT_EQ(d.sink.log, (std::vector<std::string>{"early", "message"}));
        EXPECT_EQ(MemLeakTracer::liveCount(className), liveBefore);

        // The decoder carries nothing over from the failed publication.
        d.sink.clear();
        d.sink.throwFromNewMessage = false;
        EXPECT_GT(d.decode(sample.bytes), 0);
        EXPECT_EQ(d.sink.log, publishedLog());
        EXPECT_EQ(MemLeakTracer::liveCount(className), liveBefore);
    }
}

} // namespace
