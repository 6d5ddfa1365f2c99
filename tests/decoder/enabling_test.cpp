// Message enabling: one bit per number 1 to 45 laid out as the codec's dispatch tests it, the
// all-on and all-off operations that spare the sub-record bits, and numbers outside the range.
#include "decoder_support.h"

#include <gtest/gtest.h>

#include <climits>

using namespace Nvt::Mesaro;

namespace {

constexpr int LastNumber = 45;
constexpr int FirstMessageNumber = 14;

std::vector<bool> states(const RTCMVDecoder &decoder)
{
    std::vector<bool> result;
    for (int e = 1; e <= LastNumber; ++e)
        result.push_back(decoder.isEnabledMessageEnum(e));
    return result;
}

// true for the numbers from..to, 1 based.
std::vector<bool> enabledRange(int from, int to)
{
    std::vector<bool> result;
    for (int e = 1; e <= LastNumber; ++e)
        result.push_back(e >= from && e <= to);
    return result;
}

void setEnabled(RTCMVDecoder &decoder, int e, bool enabled)
{
    if (enabled)
        decoder.enableMessageEnum(e);
    else
        decoder.disableMessageEnum(e);
}

std::vector<std::string> disabledLog(uint32_t type)
{
    return {"event 4 RTCMV: RTCMV_ERR_MESSAGE_TYPE_" + std::to_string(type) + "_DISABLED"};
}

TEST(DecoderEnabling, EachNumberHasItsOwnBit)
{
    RTCMVDecoder decoder(nullptr);
    const std::vector<bool> fresh = enabledRange(FirstMessageNumber, LastNumber);
    ASSERT_EQ(states(decoder), fresh);
    for (int e = 1; e <= LastNumber; ++e) {
        SCOPED_TRACE("number " + std::to_string(e));
        std::vector<bool> flipped = fresh;
        flipped[size_t(e - 1)] = !fresh[size_t(e - 1)];
        // Twice: repeating an operation changes nothing.
        for (int i = 0; i < 2; ++i) {
            setEnabled(decoder, e, flipped[size_t(e - 1)]);
            EXPECT_EQ(states(decoder), flipped);
        }
        setEnabled(decoder, e, fresh[size_t(e - 1)]);
        EXPECT_EQ(states(decoder), fresh);
    }
}

TEST(DecoderEnabling, DisablingANumberRefusesExactlyItsMessageType)
{
    DecoderWithSink d;
    const std::vector<Sample> samples = makeSamples(11, 1);
    for (const Sample &disabled : samples) {
        const int e = int(messageClassOf(disabled.type).kind);
        SCOPED_TRACE("disabled number " + std::to_string(e));
        d.decoder.disableMessageEnum(e);
        for (const Sample &sample : samples) {
            SCOPED_TRACE("message type " + std::to_string(sample.type));
            d.sink.clear();
            const int32_t result = d.decode(sample.bytes);
            if (sample.type == disabled.type) {
                EXPECT_EQ(result, -541 - e);
                EXPECT_EQ(d.sink.log, disabledLog(sample.type));
            } else {
                EXPECT_GT(result, 0);
                EXPECT_EQ(d.sink.log, publishedLog());
            }
        }
        d.decoder.enableMessageEnum(e);
    }
}

TEST(DecoderEnabling, AllOnAndAllOffLeaveTheSubRecordBits)
{
    RTCMVDecoder decoder(nullptr);
    decoder.enableMessageEnum(3);
    decoder.disableAllMessages();
    EXPECT_EQ(states(decoder), enabledRange(3, 3));
    decoder.enableAllMessages();
    std::vector<bool> expected = enabledRange(FirstMessageNumber, LastNumber);
    expected[2] = true;
    EXPECT_EQ(states(decoder), expected);

    decoder.disableMessageEnum(3);
    decoder.enableAllMessages();
    EXPECT_EQ(states(decoder), enabledRange(FirstMessageNumber, LastNumber));

    for (int e = 1; e < FirstMessageNumber; ++e)
        decoder.enableMessageEnum(e);
    decoder.disableAllMessages();
    EXPECT_EQ(states(decoder), enabledRange(1, FirstMessageNumber - 1));
    decoder.enableAllMessages();
    EXPECT_EQ(states(decoder), enabledRange(1, LastNumber));
}

TEST(DecoderEnabling, DisableAllRefusesEveryKnownTypeButUnknownTypesStayUnknown)
{
    DecoderWithSink d;
    const std::vector<Sample> samples = makeSamples(12, 1);
    d.decoder.disableAllMessages();
    for (const Sample &sample : samples) {
        SCOPED_TRACE("message type " + std::to_string(sample.type));
        d.sink.clear();
        EXPECT_EQ(d.decode(sample.bytes), -541 - int(messageClassOf(sample.type).kind));
        EXPECT_EQ(d.sink.log, disabledLog(sample.type));
    }
    std::vector<unsigned char> type7 = sampleOf(samples, 1).bytes;
    type7[1] = static_cast<unsigned char>((type7[1] & 0x03) | (7 << 2));
    d.sink.clear();
    EXPECT_EQ(d.decode(type7), RTCMV_ERR_INVALID_MESSAGE);
    EXPECT_EQ(d.sink.log, unknownLog(7));

    // Another decoder keeps its own bits.
    RTCMVDecoder other(nullptr);
    EXPECT_GT(other.decodeMessage(samples.front().bytes.data(), uint(samples.front().bytes.size())), 0);

    d.decoder.enableAllMessages();
    for (const Sample &sample : samples)
        EXPECT_GT(d.decode(sample.bytes), 0) << "message type " << sample.type;
}

TEST(DecoderEnabling, NumbersOutsideTheRegisteredRangeAreIgnored)
{
    DecoderWithSink d;
    const std::vector<Sample> samples = makeSamples(13, 1);
    for (int base = 0; base < 2; ++base) {
        // Both a fresh state and one with every bit of bytes 0 to 5 in use.
        if (base == 1) {
            for (int e = 1; e <= LastNumber; ++e)
                d.decoder.enableMessageEnum(e);
        }
        const std::vector<bool> before = states(d.decoder);
        for (int e : {0, -1, -8, 46, 47, 48, 54, 55, 56, 63, 64, 1000, INT_MIN, INT_MAX}) {
            SCOPED_TRACE("number " + std::to_string(e));
            d.decoder.enableMessageEnum(e);
            EXPECT_FALSE(d.decoder.isEnabledMessageEnum(e));
            EXPECT_EQ(states(d.decoder), before);
            d.decoder.disableMessageEnum(e);
            EXPECT_FALSE(d.decoder.isEnabledMessageEnum(e));
            EXPECT_EQ(states(d.decoder), before);
        }
        for (const Sample &sample : samples)
            EXPECT_GT(d.decode(sample.bytes), 0) << "message type " << sample.type;
    }
}

} // namespace
