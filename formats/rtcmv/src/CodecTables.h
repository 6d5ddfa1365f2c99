// A generated codec's layout tables and record functions behind one interface, so that the code
// that handles every record alike (the record walker, JSON writers and readers, the generic tests)
// serves every format the generator makes. The layouts are given in RTCMV's layout types: every
// format's generated layout types have the same members and the same enumerations.
#pragma once

#include "RTCMV_codec.h"

#include <cstdint>
#include <cstring>

namespace Nvt {
namespace Mesaro {

// The enable bits of every codec's filter context.
constexpr std::size_t CODEC_ENABLE_BYTES = sizeof(RTCMV_context_s::enable);

struct CodecTables
{
    const char *format; // the format's name, e.g. "RTCMV"
    const uint8_t *messageTypes; // ascending
    uint32_t messageTypeCount;
    uint32_t recordStorageSize; // bytes that hold a record of any kind

    const RTCMV_record_info_s *(*recordInfo)(uint32_t kind); // null outside the format's kinds
    const RTCMV_record_info_s *(*messageInfo)(uint32_t messageType); // null for a type it does not know
    bool (*fieldPresent)(const void *record, uint32_t index);
    void (*updateDerived)(void *record);
    int (*initRecord)(void *record, uint32_t kind);
    void *(*appendRecord)(void *record);
    void (*freeRecord)(void *record);
    int32_t (*encodeRecord)(unsigned char *buffer, uint16_t size, void *record);
    // Decodes under a filter context with these enable bits (the kinds as the codec's enable masks
    // place them), or with every type enabled when enable is null.
    int32_t (*decode)(const unsigned char *enable, const unsigned char *buffer, uint16_t size, void *record);
    const char *(*errorName)(int32_t code);
};

// A codec's decode under the enable bits given, as CodecTables::decode wants it: every codec has
// the same context shape, only its names differ.
template <typename Context, void (*initContext)(Context *),
          int32_t (*decodeWith)(Context *, const unsigned char *, uint16_t, void *)>
int32_t decodeEnabled(const unsigned char *enable, const unsigned char *buffer, uint16_t size, void *record)
{
    if (enable == nullptr)
        return decodeWith(nullptr, buffer, size, record);
    Context context;
    initContext(&context);
    static_assert(sizeof context.enable == CODEC_ENABLE_BYTES, "every codec has the same enable bytes");
    std::memcpy(context.enable, enable, sizeof context.enable);
    return decodeWith(&context, buffer, size, record);
}

extern const CodecTables RTCMV_TABLES;
extern const CodecTables RTCM2X_TABLES;

// Every format, in catalogue order (RTCMV first).
extern const CodecTables *const CODEC_FORMATS[2];

// The format whose codec knows the message type, in catalogue order; null when none does.
const CodecTables *codecTablesOfType(uint32_t messageType);

} // namespace Mesaro
} // namespace Nvt
