// JSON objects from codec records through the record walker.
#include "RecordJson.h"

#include "JsonWriter.h"

#include <RTCMV_RecordWalker.h>

#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

using Keys = std::vector<std::vector<JsonKey>>;

// The key of every field of every record kind of a format (by kind - 1 and field index).
Keys keysOf(const CodecTables &format)
{
    Keys all;
    for (uint32_t k = 1; format.recordInfo(k) != nullptr; ++k) {
        const RTCMV_record_info_s *info = format.recordInfo(k);
        all.emplace_back();
        for (uint32_t i = 0; i < info->fieldCount; ++i)
            all.back().emplace_back(info->fields[i].name);
    }
    return all;
}

// The keys of each format, made once.
const Keys &allKeys(const CodecTables &format)
{
    static const Keys rtcmv = keysOf(RTCMV_TABLES), rtcm2x = keysOf(RTCM2X_TABLES);
    return &format == &RTCM2X_TABLES ? rtcm2x : rtcmv;
}

// Calls `write` with the number at `at` as the JSON writer takes it.
template <typename Write>
void withNumber(const RTCMV_FieldVisit &f, const char *at, Write write)
{
    if (f.field.ctype == RTCMV_CTYPE_F64)
        write(RTCMV_load_f64(at));
    else if (f.field.ctype == RTCMV_CTYPE_U64)
        write(static_cast<unsigned long long>(RTCMV_load(at, f.field.ctype)));
    else
        write(static_cast<long long>(RTCMV_load(at, f.field.ctype)));
}

// Fields as members, arrays and sub-record blocks as arrays, sub-records as objects, texts as
// strings; conditional fields the record does not hold are left out.
class JsonVisitor : public RTCMV_RecordVisitor
{
public:
    JsonVisitor(JsonWriter &json, const CodecTables &format) : m_json(json), m_keys(allKeys(format)) {}

    bool enterField(const RTCMV_FieldVisit &f)
    {
        const JsonKey &key = m_keys[f.record.kind - 1][f.index];
        switch (f.field.what) {
        case RTCMV_FIELD_TEXT:
            m_json.preparedKey(key).latin1(f.at, f.count);
            return false;
        case RTCMV_FIELD_ARRAY:
        case RTCMV_FIELD_RECORDS:
            m_json.preparedKey(key).beginArray();
            return true;
        default: // a single value, written here rather than through value() and leaveField()
            withNumber(f, f.at, [&](auto number) { m_json.member(key, number); });
            return false;
        }
    }
    // An element of an array.
    void value(const RTCMV_FieldVisit &f, uint32_t, const char *at)
    {
        withNumber(f, at, [&](auto number) { m_json.value(number); });
    }
    bool enterRecord(const RTCMV_FieldVisit &, uint32_t, const void *)
    {
        m_json.beginObject();
        return true;
    }
    void leaveRecord(const RTCMV_FieldVisit &, uint32_t, const void *) { m_json.endObject(); }
    void leaveField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_ARRAY || f.field.what == RTCMV_FIELD_RECORDS)
            m_json.endArray();
    }

private:
    JsonWriter &m_json;
    const Keys &m_keys;
};

} // namespace

void writeRecordJson(JsonWriter &json, const void *record, const CodecTables &format)
{
    json.beginObject();
    JsonVisitor visitor(json, format);
    RTCMV_walk_record(record, visitor, format);
    json.endObject();
}
