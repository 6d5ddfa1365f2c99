// Buffers the decoder refuses: unknown and disabled types, buffers too short for the type field,
// truncated messages. Each yields exactly the codec's code and one event, and publishes nothing.
#include "decoder_support.h"

#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace Nvt::Mesaro;

namespace {

// The 6-bit message type sits right after the 8-bit preamble.
std::vector<unsigned char> withType(std::vector<unsigned char> bytes, unsigned type)
{
    bytes[1] = static_cast<unsigned char>((bytes[1] & 0x03) | (type << 2));
    return bytes;
}

bool isKnown(unsigned type)
{
    const std::vector<uint32_t> &known = CodecSupport::messageTypes();
    return std::find(known.begin(), known.end(), type) != known.end();
}

TEST(DecoderRefusal, EveryTypeNumberIsDecodedOrReportedUnknown)
{
    DecoderWithSink d;
    const std::vector<Sample> samples = makeSamples(4, 1);
    const std::vector<unsigned char> type1 = sampleOf(samples, 1).bytes;
    for (unsigned type = 0; type < 64; ++type) {
        SCOPED_TRACE("message type " + std::to_string(type));
        d.sink.clear();
        if (isKnown(type)) {
            EXPECT_GT(d.decode(sampleOf(samples, type).bytes), 0);
            EXPECT_EQ(d.sink.log, publishedLog());
        } else {
            // The event comes first, then the unknown-message report (type 7 among them).
            EXPECT_EQ(d.decode(withType(type1, type)), RTCMV_ERR_INVALID_MESSAGE);
            EXPECT_EQ(d.sink.log, unknownLog(type));
        }
    }
}

TEST(DecoderRefusal, BufferTooShortForTheTypeFieldReportsType0)
{
    DecoderWithSink d;
    const std::vector<unsigned char> type7 = withType(sampleOf(makeSamples(5, 1), 1).bytes, 7);
    ASSERT_EQ(d.decode(type7), RTCMV_ERR_INVALID_MESSAGE);
    // Neither the type bits that are present nor the type of the previous call show.
    for (uint size : {0u, 1u}) {
        d.sink.clear();
        const std::vector<unsigned char> prefix(type7.begin(), type7.begin() + size);
        EXPECT_EQ(d.decoder.decodeMessage(prefix.data(), size), RTCMV_ERR_INVALID_MESSAGE);
        EXPECT_EQ(d.sink.log, unknownLog(0));
    }
    for (uint maxlength : {0u, 1u, 2u, 100u, 65536u, UINT_MAX}) {
        d.sink.clear();
        EXPECT_EQ(d.decoder.decodeMessage(nullptr, maxlength), RTCMV_ERR_INVALID_MESSAGE);
        EXPECT_EQ(d.sink.log, unknownLog(0));
    }
}

TEST(DecoderRefusal, DisabledType3ReportsItsDisabledCode)
{
    DecoderWithSink d;
    const std::vector<unsigned char> type3 = sampleOf(makeSamples(6, 1), 3).bytes;
    ASSERT_EQ(messageClassOf(3).kind, 14u);
    d.decoder.disableMessageEnum(14);
    EXPECT_EQ(d.decode(type3), -555);
    EXPECT_EQ(d.sink.log, std::vector<std::string>{"event 4 RTCMV: RTCMV_ERR_MESSAGE_TYPE_3_DISABLED"});
    d.sink.clear();
    d.decoder.enableMessageEnum(14);
    EXPECT_EQ(d.decode(type3), 144);
    EXPECT_EQ(d.sink.log, publishedLog());
}

TEST(DecoderRefusal, TruncatedMessagesReportTheCodecsFieldError)
{
    DecoderWithSink d;
    const qint64 liveBefore = MemLeakTracer::totalLive();
    for (const Sample &sample : makeSamples(7, 2)) {
        SCOPED_TRACE("message type " + std::to_string(sample.type));
        for (size_t size = 2; size < sample.bytes.size(); ++size) {
            SCOPED_TRACE("bytes " + std::to_string(size));
            // An exact-size copy, so that a read past the end shows under the address sanitizer.
            const std::vector<unsigned char> prefix(sample.bytes.begin(), sample.bytes.begin() + long(size));
            const CodecAnswer expected = codecAnswer(prefix.data(), uint16_t(size));
            ASSERT_LT(expected.result, 0);
            ASSERT_NE(expected.result, RTCMV_ERR_INVALID_MESSAGE);
            d.sink.clear();
            EXPECT_EQ(d.decode(prefix), expected.result);
            EXPECT_EQ(d.sink.log, codecErrorLog(expected.result));
        }
        d.sink.clear();
        EXPECT_GT(d.decode(sample.bytes), 0);
        EXPECT_EQ(d.sink.log, publishedLog());
    }
    // No message object was left behind; the sub-record blocks are checked by the leak sanitizer.
    EXPECT_EQ(MemLeakTracer::totalLive(), liveBefore);
}

} // namespace
