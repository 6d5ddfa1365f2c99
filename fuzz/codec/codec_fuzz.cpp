// libFuzzer target of the decode dispatch of both codecs (RTCMV, and RTCM2X for its types, as the
// tool routes them): any input decodes or fails cleanly, the filter context only refuses disabled
// types, and whatever decodes encodes back to the same bits and decodes again to the same record.
#include "codec_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The first input byte chooses which kind tags the filter lets through (the enable bits of a
// kind: mask 0x80 >> (kind % 8) of byte (kind + 1) / 8).
void chooseEnabled(const CodecTables &format, unsigned char *enable, unsigned char selector)
{
    std::memset(enable, 0xFF, CODEC_ENABLE_BYTES);
    switch (selector >> 6) {
    case 0:  // every kind
        break;
    case 1:  // none
        std::memset(enable, 0, CODEC_ENABLE_BYTES);
        break;
    case 2: {  // every kind but one message type's
        const unsigned type = format.messageTypes[(selector & 0x3Fu) % format.messageTypeCount];
        const uint32_t kind = format.messageInfo(type)->kind;
        enable[(kind + 1) / 8] &= static_cast<unsigned char>(~(0x80u >> (kind % 8)));
        break;
    }
    default:  // any pattern, sub-record tags and unused bits included
        for (unsigned i = 0; i < CODEC_ENABLE_BYTES; ++i)
            enable[i] = static_cast<unsigned char>(selector * (2 * i + 3));
        break;
    }
}

// Whether code is the "type disabled" refusal of the message type.
bool disabledError(const CodecTables &format, int32_t code, uint32_t type)
{
    return std::string(format.errorName(code))
           == std::string(format.format) + "_ERR_MESSAGE_TYPE_" + std::to_string(type) + "_DISABLED";
}

bool bitAt(const unsigned char *data, int32_t position)
{
    return (data[position / 8] >> (7 - position % 8)) & 1;
}

// A decoded message encodes back to the bits it was read from and decodes to the same record.
void checkReencoding(const CodecTables &format, CodecSupport::AnyRecord *decoded, const unsigned char *message, int32_t bits)
{
    const uint16_t size = uint16_t((bits + 7) / 8);
    std::vector<unsigned char> encoded(size);
    require(format.encodeRecord(encoded.data(), size, decoded) == bits);
    for (int32_t position = 0; position < bits; ++position)
        require(bitAt(encoded.data(), position) == bitAt(message, position));

    CodecSupport::AnyRecord again;
    std::memset(&again, 0, sizeof again);
    require(format.decode(nullptr, encoded.data(), size, &again) == bits);
    require(CodecSupport::firstDifference(decoded, &again, format).empty());
    format.freeRecord(&again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned char *message = data + 1;
    const uint16_t length = uint16_t(std::min<size_t>(size - 1, UINT16_MAX));
    // The codec that knows the message's type; RTCMV's for a type neither knows.
    const CodecTables *known = length >= 2 ? codecTablesOfType(message[1] >> 2) : nullptr;
    const CodecTables &format = known != nullptr ? *known : RTCMV_TABLES;
    unsigned char enable[CODEC_ENABLE_BYTES];
    chooseEnabled(format, enable, data[0]);

    CodecSupport::AnyRecord record;
    std::memset(&record, 0, sizeof record);
    const int32_t filtered = format.decode(enable, message, length, &record);
    format.freeRecord(&record);

    std::memset(&record, 0, sizeof record);
    const int32_t result = format.decode(nullptr, message, length, &record);
    if (filtered != result) {
        // Only a disabled type may decode differently under the filter.
        const RTCMV_record_info_s *info = length >= 2 ? format.messageInfo(message[1] >> 2) : nullptr;
        require(info != nullptr && disabledError(format, filtered, info->messageType));
    }
    if (result > 0)
        checkReencoding(format, &record, message, result);
    format.freeRecord(&record);
    return 0;
}
