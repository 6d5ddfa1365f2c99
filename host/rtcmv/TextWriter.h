// The text output of `rtcmv decode`: each message under its title line, one line per field with its
// display name and its values' texts (symbols, numbers and units), sub-records indented below.
#pragma once

#include "Output.h"
#include "ValuesWriter.h"

#include <mesaroframework/FieldType.h>
#include <mesaroframework/FieldValue.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class FieldInfo;
class Message;
class MessageInfo;

// The texts of one field's values, as the field's descriptor gives them with their unit
// (getIndexedValueString), written straight into the output. What does not depend on the value
// (the unit and its side, the symbols with the unit joined, the scale factor) is worked out once;
// numbers are formatted without a QString.
class ValueTexts
{
public:
    explicit ValueTexts(const FieldInfo *field);
    void write(Output &out, const FieldValue &value) const;

private:
    void writeNumber(Output &out, const FieldValue &value) const;

    std::string m_before; // "unit " when the unit goes first
    std::string m_after;  // " unit" when it follows the value
    std::vector<std::pair<FieldValue, std::string>> m_symbols; // non-empty texts, unit joined
    FieldValue m_doNotUse;
    bool m_hasDoNotUse;
    bool m_scaled;
    double m_scale;
};

// Writes messages as text, reading the values from each message's codec record in the order of its
// fields; the texts of each message descriptor are gathered on its first message.
class TextWriter
{
public:
    explicit TextWriter(Output &out) : m_out(out) {}
    // The message under its title line (with its time), its station position last.
    void write(const Message *message, const MessageExtras &extras);

private:
    class Visitor;
    struct FieldText
    {
        const FieldInfo *field;
        FieldType::Kind kind;
        int width;
        std::string name; // the display name
        ValueTexts values;
    };
    struct MessageText
    {
        std::string title; // display name, " - " and the short description when there is one
        std::string name;  // display name, for a sub-record's line
        std::vector<FieldText> fields; // in the order of the record's fields
    };

    const MessageText &textsOf(const MessageInfo *info);

    Output &m_out;
    std::unordered_map<const MessageInfo *, MessageText> m_texts;
};
