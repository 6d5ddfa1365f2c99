// The text output: values from the codec record, texts from the catalogue, cached per field.
#include "TextWriter.h"

#include "DecoderRouter.h"

#include <RTCMV_RecordWalker.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/FloatRepresentation.h>
#include <mesaroframework/Message.h>
#include <mesaroframework/MessageInfo.h>

#include <charconv>
#include <cmath>

using namespace Nvt::Mesaro;

namespace {

std::string utf8(const QString &text)
{
    return text.toStdString();
}

// What FloatRepresentation::getString(value, 'f', 6, true) gives: rounded to six decimals, trailing
// zeros and a trailing point cut. The text is made here with to_chars, except where the two would
// differ: to_chars rounds a value exactly halfway to even and Qt away from zero (so a value whose
// seventh decimal rounds to 5 takes Qt's way), and a value with fewer than six significant digits
// in six decimals changes notation. Very large values take Qt's way too.
void writeFixed(Output &out, double value)
{
    if (value == 0) {
        out << '0';
        return;
    }
    char text[40];
    char *const end = text + sizeof text;
    if (std::isfinite(value) && std::fabs(value) < 1e15) {
        const char *seventh = std::to_chars(text, end, value, std::chars_format::fixed, 7).ptr - 1;
        if (*seventh != '5') {
            char *last = std::to_chars(text, end, value, std::chars_format::fixed, 6).ptr;
            int significant = 0;
            for (const char *c = text; c < last; ++c)
                significant += *c >= '0' && *c <= '9' && (significant > 0 || *c != '0');
            if (significant >= 6) {
                while (last[-1] == '0')
                    --last;
                if (last[-1] == '.')
                    --last;
                out.append(text, std::size_t(last - text));
                return;
            }
        }
    }
    out << FloatRepresentation::getString(value, 'f', 6, true);
}

} // namespace

ValueTexts::ValueTexts(const FieldInfo *field)
    : m_doNotUse(field->getDoNotUseValue()), m_hasDoNotUse(field->hasDoNotUseValue()),
      m_scaled(field->hasScaleFactor()), m_scale(field->getScaleFactor())
{
    const std::string unit = utf8(field->getUnit());
    if (!unit.empty() && field->isUnitFollowingValue())
        m_after = ' ' + unit;
    else if (!unit.empty())
        m_before = unit + ' ';
    for (const auto &symbol : field->getSymbolicValues()) {
        // Symbols registered for the same value again replace the text (the first entry holds it).
        if (!symbol.second.isEmpty())
            m_symbols.emplace_back(symbol.first, m_before + utf8(symbol.second) + m_after);
    }
}

void ValueTexts::write(Output &out, const FieldValue &value) const
{
    if (m_hasDoNotUse && value == m_doNotUse) {
        if (Message::useDoNotUseString)
            out << Message::doNotUseString;
        return;
    }
    for (const auto &symbol : m_symbols) {
        if (symbol.first == value) {
            out << symbol.second;
            return;
        }
    }
    out << m_before;
    writeNumber(out, value);
    out << m_after;
}

// A number as the field's descriptor writes it by the type of its values: a float in fixed notation,
// a character as its 16-bit code, a byte in two hex digits, a scaled integer as a float, else decimal
// (the tool runs in the C locale without group separators, see main).
void ValueTexts::writeNumber(Output &out, const FieldValue &value) const
{
    switch (value.kind()) {
    case FieldType::Float64:
        writeFixed(out, value.toDouble());
        return;
    case FieldType::Char: // the 8-bit code taken as signed and widened
        out << QString(QChar(static_cast<ushort>(static_cast<short>(static_cast<signed char>(value.toByte())))));
        return;
    case FieldType::Byte: {
        static const char hex[] = "0123456789abcdef";
        out << hex[value.toByte() >> 4] << hex[value.toByte() & 0xF];
        return;
    }
    default:
        break;
    }
    if (m_scaled)
        writeFixed(out, value.toDouble() * m_scale);
    else if (value.kind() == FieldType::Signed)
        out << static_cast<long long>(value.toInt64());
    else
        out << static_cast<unsigned long long>(value.toUInt64());
}

const TextWriter::MessageText &TextWriter::textsOf(const MessageInfo *info)
{
    auto found = m_texts.find(info);
    if (found != m_texts.end())
        return found->second;
    MessageText texts;
    texts.name = utf8(info->getDisplayName());
    texts.title = texts.name;
    if (!info->getShortDescriptiveText().isEmpty())
        texts.title += " - " + utf8(info->getShortDescriptiveText());
    for (const FieldInfo *field : info->getFieldInfos())
        texts.fields.push_back({field, field->getType().kind(), field->getType().width(),
                                utf8(field->getDisplayName()), ValueTexts(field)});
    return m_texts.emplace(info, std::move(texts)).first->second;
}

// One line per field ("Name: values"), and per sub-record "Name [i]: Sub-record" with its fields
// indented below; a conditional field the record does not hold has no line.
class TextWriter::Visitor : public RTCMV_RecordVisitor
{
public:
    Visitor(TextWriter &writer, const MessageText &texts) : m_writer(writer), m_out(writer.m_out), m_texts{&texts} {}

    bool enterField(const RTCMV_FieldVisit &f)
    {
        const FieldText &text = textOf(f);
        if (f.field.what == RTCMV_FIELD_RECORDS)
            return true;
        indent(f.depth + 1);
        m_out << text.name << ": ";
        if (f.field.what == RTCMV_FIELD_ARRAY)
            return true;
        if (f.field.what == RTCMV_FIELD_TEXT) { // the characters up to the first NUL
            uint32_t length = 0;
            while (length < f.count && f.at[length] != '\0')
                ++length;
            m_out << '"';
            m_out.visible(QString::fromLatin1(f.at, int(length)));
            m_out << '"';
        } else {
            text.values.write(m_out, valueAt(f, text));
        }
        m_out.endLine();
        return false;
    }
    void value(const RTCMV_FieldVisit &f, uint32_t element, const char *at)
    {
        if (element > 0)
            m_out << ' ';
        const FieldText &text = textOf(f);
        text.values.write(m_out, valueAt(f, text, at));
    }
    void leaveField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_ARRAY)
            m_out.endLine();
    }
    bool enterRecord(const RTCMV_FieldVisit &f, uint32_t element, const void *)
    {
        const FieldText &text = textOf(f);
        const MessageText &sub = m_writer.textsOf(text.field->getType().getSubMessageInfo());
        indent(f.depth + 1);
        m_out << text.name << " [" << element << "]: " << sub.name;
        m_out.endLine();
        m_texts.push_back(&sub);
        return true;
    }
    void leaveRecord(const RTCMV_FieldVisit &, uint32_t, const void *) { m_texts.pop_back(); }

private:
    const FieldText &textOf(const RTCMV_FieldVisit &f) const { return m_texts.back()->fields[f.index]; }

    void indent(uint32_t depth)
    {
        for (uint32_t i = 0; i < depth; ++i)
            m_out.append("  ", 2);
    }

    // The value as the field's descriptor gives it, from the record's storage.
    static FieldValue valueAt(const RTCMV_FieldVisit &f, const FieldText &text, const char *at = nullptr)
    {
        at = at != nullptr ? at : f.at;
        const int64_t raw = RTCMV_load(at, f.field.ctype);
        switch (text.kind) {
        case FieldType::Unsigned: return FieldValue::u(static_cast<unsigned long long>(raw), text.width);
        case FieldType::Signed: return FieldValue::i(raw, text.width);
        case FieldType::Byte: return FieldValue::byte(static_cast<unsigned char>(raw));
        case FieldType::Char: return FieldValue::ch(static_cast<char>(raw));
        default: return FieldValue::f64(RTCMV_load_f64(at));
        }
    }

    TextWriter &m_writer;
    Output &m_out;
    std::vector<const MessageText *> m_texts; // of the record being walked and those around it
};

void TextWriter::write(const Message *message, const MessageExtras &extras)
{
    const MessageText &texts = textsOf(message->getMessageInfo());
    m_out << texts.title;
    if (extras.time)
        m_out << " at " << extras.time->isoUtc();
    m_out.endLine();
    Visitor visitor(*this, texts);
    RTCMV_walk_record(message->getCodecRecord(), visitor, DecoderRouter::tablesOf(message));
    if (extras.position) {
        m_out << "  Station Position: " << positionText(*extras.position);
        m_out.endLine();
    }
}
