// JSON objects straight from codec records, walked with the codec's layout tables: the same keys,
// in the same order, and the same raw values as the message descriptors give, without building a
// value object per field. The inverse of what `rtcmv encode` reads.
#pragma once

#include <CodecTables.h>

class JsonWriter;

// Writes the record (any kind of the format) as one JSON object.
void writeRecordJson(JsonWriter &json, const void *record,
                     const Nvt::Mesaro::CodecTables &format = Nvt::Mesaro::RTCMV_TABLES);
