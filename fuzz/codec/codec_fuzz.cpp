// libFuzzer target of the RTCMV decode dispatch: any input decodes or fails cleanly, the filter
// context only refuses disabled types, and whatever decodes encodes back to the same bits and
// decodes again to the same record.
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

// The first input byte chooses which kind tags the filter lets through.
void chooseEnabled(RTCMV_context_s *context, unsigned char selector)
{
    RTCMV_init_context(context);
    switch (selector >> 6) {
    case 0:  // every message type
        break;
    case 1:  // none
        std::memset(context->enable, 0, sizeof context->enable);
        break;
    case 2: {  // every message type but one
        const unsigned type = RTCMV_MESSAGE_TYPES[(selector & 0x3Fu) % RTCMV_MESSAGE_TYPE_COUNT];
        const uint32_t kind = RTCMV_message_info(type)->kind;
        context->enable[RTCMV_enable_byte(kind)] &= static_cast<unsigned char>(~RTCMV_enable_mask(kind));
        break;
    }
    default:  // any pattern, sub-record tags and unused bits included
        for (unsigned i = 0; i < sizeof context->enable; ++i)
            context->enable[i] = static_cast<unsigned char>(selector * (2 * i + 3));
        break;
    }
}

// Whether code is the "type disabled" refusal of the message type.
bool disabledError(int32_t code, uint32_t type)
{
    return std::string(RTCMV_error_name(code)) == "RTCMV_ERR_MESSAGE_TYPE_" + std::to_string(type) + "_DISABLED";
}

bool bitAt(const unsigned char *data, int32_t position)
{
    return (data[position / 8] >> (7 - position % 8)) & 1;
}

// A decoded message encodes back to the bits it was read from and decodes to the same record.
void checkReencoding(RTCMV_record_u *decoded, const unsigned char *message, int32_t bits)
{
    const uint16_t size = uint16_t((bits + 7) / 8);
    std::vector<unsigned char> encoded(size);
    require(RTCMV_encode_record(encoded.data(), size, decoded) == bits);
    for (int32_t position = 0; position < bits; ++position)
        require(bitAt(encoded.data(), position) == bitAt(message, position));

    RTCMV_record_u again;
    std::memset(&again, 0, sizeof again);
    require(RTCMV_decode(nullptr, encoded.data(), size, &again) == bits);
    require(CodecSupport::firstDifference(decoded, &again).empty());
    RTCMV_free_record(&again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    RTCMV_context_s context;
    chooseEnabled(&context, data[0]);
    const unsigned char *message = data + 1;
    const uint16_t length = uint16_t(std::min<size_t>(size - 1, UINT16_MAX));

    RTCMV_record_u record;
    std::memset(&record, 0, sizeof record);
    const int32_t filtered = RTCMV_decode(&context, message, length, &record);
    RTCMV_free_record(&record);

    std::memset(&record, 0, sizeof record);
    const int32_t result = RTCMV_decode(nullptr, message, length, &record);
    if (filtered != result) {
        // Only a disabled type may decode differently under the filter.
        const RTCMV_record_info_s *info = length >= 2 ? RTCMV_message_info(message[1] >> 2) : nullptr;
        require(info != nullptr && disabledError(filtered, info->messageType));
    }
    if (result > 0)
        checkReencoding(&record, message, result);
    RTCMV_free_record(&record);
    return 0;
}
