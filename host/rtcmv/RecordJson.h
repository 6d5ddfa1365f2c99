// JSON objects straight from codec records, walked with the codec's layout tables: the same keys,
// in the same order, and the same raw values as the message descriptors give, without building a
// value object per field. The inverse of what `rtcmv encode` reads.
#pragma once

#include <cstdint>

class Output;

// Values of record fields by their layout-table storage type (RTCMV_ctype_e), shared by the JSON
// writer and the encoder's reader.
unsigned int fieldStorageSize(uint8_t ctype);
bool fieldIsSigned(uint8_t ctype);
long long loadField(const void *at, uint8_t ctype); // 64-bit unsigned values keep their bits
void storeField(void *at, uint8_t ctype, long long value);

// Writes the record (any kind) as one JSON object.
void writeRecordJson(Output &out, const void *record);
