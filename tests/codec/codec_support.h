// Support for exercising the generated codecs generically, driven by their layout tables: a seeded
// generator of valid records of any message type, raw field access and a whole-record comparison.
// Each takes the format (RTCMV unless given).
#pragma once

#include "RTCM2X_codec.h"
#include "RTCMV_RecordWalker.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace CodecSupport {

using Nvt::Mesaro::CodecTables;
using Nvt::Mesaro::RTCMV_field_info_s;
using Nvt::Mesaro::RTCMV_record_u;
using Nvt::Mesaro::RTCMV_TABLES;

// Storage for a record of any kind of any format.
union AnyRecord
{
    uint32_t kind;
    RTCMV_record_u rtcmv;
    Nvt::Mesaro::RTCM2X_record_u rtcm2x;
};

// The format's message types, ascending (RTCMV's 32 by default).
const std::vector<uint32_t> &messageTypes(const CodecTables &format = RTCMV_TABLES);

// The low field.bits bits of a wire pattern, widened as the field's storage type reads them.
int64_t wireValue(const RTCMV_field_info_s &field, uint64_t raw);

// The record header that every record starts with.
uint32_t kindOf(const void *record);
uint32_t bitLengthOf(const void *record);
const void *parentOf(const void *record);

// Element `index` of a sub-record block, null without one.
const void *elementAt(const void *record, const RTCMV_field_info_s &field, uint32_t index,
                      const CodecTables &format = RTCMV_TABLES);

// Valid random messages: every wire field random (biased to the edge values of its width), every
// count consistent with the fields it derives from and within its capacity.
class RecordGenerator
{
public:
    explicit RecordGenerator(uint64_t seed) : m_engine(seed) {}

    // Keeps every variable count (array, text, variable block) within [minCount, maxCount] where
    // the message allows it; by default any valid count.
    void setCountRange(uint32_t minCount, uint32_t maxCount) { m_minCount = minCount; m_maxCount = maxCount; }

    // Initialises `record` and fills it with a message of the type. The record owns its block of
    // sub-records: release it with the format's freeRecord.
    void generate(const CodecTables &format, uint32_t messageType, AnyRecord *record);
    void generate(uint32_t messageType, RTCMV_record_u *record);

private:
    friend struct Filler;
    uint64_t edgeBiasedBits(unsigned bits);

    std::mt19937_64 m_engine;
    uint32_t m_minCount = 0;
    uint32_t m_maxCount = UINT32_MAX;
};

// Encodes a message record into exactly the bytes it needs (the unused bits of the last byte are
// zero); empty when the encoder fails. The record's bitLength grows as with every encode.
std::vector<unsigned char> encodeMessage(void *record, const CodecTables &format = RTCMV_TABLES);

// Empty when the two records hold the same message (wire fields present under their condition,
// derived fields, arrays and texts up to their count with a text's terminating zero, sub-records
// recursively; bitLength and parent are not compared), else the first difference.
std::string firstDifference(const void *expected, const void *actual, const CodecTables &format = RTCMV_TABLES);

}  // namespace CodecSupport
