// Both codecs built once more with nothing but their field-by-field reads, each in a namespace of
// its own, so that the differential fuzzer can hold them beside the library's codecs.
#pragma once

#include <cstdint>

namespace FieldByField {

// Decodes as the format's codec does with every type enabled, without any fast path.
int32_t decodeRTCMV(const unsigned char *buffer, uint16_t size, void *record);
int32_t decodeRTCM2X(const unsigned char *buffer, uint16_t size, void *record);

}  // namespace FieldByField
