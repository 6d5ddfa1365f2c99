// Fields of a decoded codec record by their codec names, through the codec's layout tables.
#pragma once

#include <RTCMV_RecordWalker.h>

#include <array>
#include <cstring>
#include <optional>

struct RecordFields
{
    explicit RecordFields(const void *codecRecord, const Nvt::Mesaro::CodecTables &format = Nvt::Mesaro::RTCMV_TABLES)
        : record(codecRecord), info(Nvt::Mesaro::RTCMV_layout_of(codecRecord, format)), tables(format)
    {
    }

    // The raw value; none when the record has no such field or does not hold it.
    std::optional<int64_t> raw(const char *name) const
    {
        const Nvt::Mesaro::RTCMV_field_info_s *field = find(name);
        if (field == nullptr || (field->conditional && !tables.fieldPresent(record, uint32_t(field - info->fields))))
            return std::nullopt;
        return Nvt::Mesaro::RTCMV_load(static_cast<const char *>(record) + field->offset, field->ctype);
    }
    // The value in metres, for the fields whose step the description gives.
    std::optional<double> metres(const char *name) const
    {
        const std::optional<int64_t> value = raw(name);
        return value ? std::optional<double>(double(*value) * find(name)->metres) : std::nullopt;
    }
    std::array<double, 3> ecef(const char *x, const char *y, const char *z) const
    {
        return {metres(x).value_or(0), metres(y).value_or(0), metres(z).value_or(0)};
    }

    const void *record;
    const Nvt::Mesaro::RTCMV_record_info_s *info; // null for a record the codec does not know
    const Nvt::Mesaro::CodecTables &tables;       // the record's format

private:
    const Nvt::Mesaro::RTCMV_field_info_s *find(const char *name) const
    {
        for (uint32_t i = 0; info != nullptr && i < info->fieldCount; ++i) {
            if (std::strcmp(info->fields[i].name, name) == 0)
                return &info->fields[i];
        }
        return nullptr;
    }
};
