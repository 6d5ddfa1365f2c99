// Shared pieces of the decoder tests: a sink that records what the decoder publishes, encoded
// sample messages of every type, the expected class of each type and the registration order.
#pragma once

#include "codec_support.h"

#include <RTCMVDecoder.h>
#include <mesaroframework/Message.h>
#include <mesaroframework/MessageSink.h>
#include <mesaroframework/ReferenceCountedObject.h>

#include <memory>
#include <string>
#include <typeindex>
#include <vector>

class MessageInfo;

// Logs every publication as one line ("early", "message", "late", "event <type> <text>",
// "unknown <text>"), a foreign format marked, and for each message stage what the message was
// during the call: pointer, class, descriptor and reference count.
class RecordingSink : public MessageSink
{
public:
    void newMessageEarly(const Message *message) override;
    void newMessage(const Message *message) override;
    void newMessageLate(const Message *message) override;
    void newEvent(const MesaroEvent &event) override;
    void newUnknownMessage(const FormatInfo *format, const QString &text) override;

    void clear();

    bool keepMessages = false; // take a reference on each message in newMessage
    bool throwFromNewMessage = false;
    std::vector<std::string> log;
    std::vector<const Message *> messages;
    std::vector<std::type_index> classes;
    std::vector<const MessageInfo *> infos;
    std::vector<int> referenceCounts;
    std::vector<ReferencePointer<const Message>> kept;

private:
    void note(const Message *message);
};

// The logs of one successful publication, of an unknown type and of any other codec error.
std::vector<std::string> publishedLog();
std::vector<std::string> unknownLog(unsigned type);
std::vector<std::string> codecErrorLog(int32_t code);

// A decoder with a recording sink attached.
struct DecoderWithSink
{
    DecoderWithSink() { decoder.addSink(&sink); }
    ~DecoderWithSink() { decoder.removeSink(&sink); }
    int32_t decode(const std::vector<unsigned char> &bytes) { return decoder.decodeMessage(bytes.data(), uint(bytes.size())); }

    RTCMVDecoder decoder{nullptr};
    RecordingSink sink;
};

// A random valid message and the record it was encoded from.
struct Sample
{
    uint32_t type;
    std::vector<unsigned char> bytes;
    std::shared_ptr<Nvt::Mesaro::RTCMV_record_u> record;
};
// perType messages of every message type, in the order of CodecSupport::messageTypes().
std::vector<Sample> makeSamples(uint64_t seed, int perType);
// The first sample of a type.
const Sample &sampleOf(const std::vector<Sample> &samples, uint32_t type);

// The codec's own answer for a buffer: a fresh context, every type enabled.
struct CodecAnswer
{
    int32_t result;
    unsigned lastType;
};
CodecAnswer codecAnswer(const unsigned char *buffer, uint16_t size);

// The record a message object wraps.
const void *recordOf(const Message *message);

struct MessageClass
{
    uint32_t type;
    uint32_t kind;
    const MessageInfo *info;
    QString className;
    std::type_index cppClass;
};
const MessageClass &messageClassOf(uint32_t type);

// The 45 descriptors in the order of their numbers 1 to 45.
const std::vector<const MessageInfo *> &registrationOrder();
