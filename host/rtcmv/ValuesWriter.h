// The values and CSV outputs of `rtcmv decode`: a decoded message read through the catalogue, its
// scaled fields as physical values in the catalogue's units, with its time and station position.
#pragma once

#include "JsonWriter.h"
#include "Output.h"

#include <MessageTime.h>
#include <StationPositions.h>

#include <QtCore/QString>
#include <QtCore/QVector>

#include <optional>

class FieldInfo;
class Message;
class MessageInfo;

// What the values module adds to a decoded message.
struct MessageExtras
{
    std::optional<GpsTime> time;
    std::optional<StationPosition> position;
};

// The version of the json output's schema (raw values), unchanged since the first release.
constexpr int jsonSchemaVersion = 1;
// The version of the values schema, written into every line; raised when a member changes meaning.
constexpr int valuesSchemaVersion = 1;

// One JSON object: "values_schema", "time", "gps_week", "gps_tow", every field the message holds
// (a scaled field as raw x scale factor, a symbolic or do-not-use value as its raw number with a
// "<name>_text" member beside it), then "position" for a station message.
void writeValuesJson(JsonWriter &json, const Message *message, const MessageExtras &extras);

// The position as a JSON object: "ecef" [x, y, z] and "lat", "lon", "height" (WGS 84), "from"
// (the message types it rests on) and "antenna_height" when known.
void writePositionJson(JsonWriter &json, const StationPosition &position);
// The position in one line of text, for the text output and the statistics.
QString positionText(const StationPosition &position);

// Writes messages of one type as CSV (RFC 4180): a header row of display names with units, then
// one row per message, or per sub-record for a message with a block of them; the message time
// first; physical values; symbolic values as their raw numbers.
class CsvWriter
{
public:
    explicit CsvWriter(Output &out) : m_out(out) {}
    void write(const Message *message, const MessageExtras &extras);

private:
    void start(const Message *message);
    // One cell per column; empty cells for an absent field or a missing sub-record (null).
    void cells(const Message *message, const QVector<const FieldInfo *> &columns);

    Output &m_out;
    bool m_started = false;
    QVector<const FieldInfo *> m_columns;        // the message's own fields
    const FieldInfo *m_block = nullptr;          // the sub-record field that gives a row per element
    QVector<const FieldInfo *> m_elementColumns; // the fields of those sub-records
};
