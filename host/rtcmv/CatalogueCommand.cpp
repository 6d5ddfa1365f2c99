// rtcmv catalogue: lists the format, every message descriptor and every field descriptor, read from
// the catalogue objects themselves.
#include "Commands.h"
#include "DecoderRouter.h"
#include "JsonWriter.h"

#include <RTCMV_FieldInfoBase.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/FormatInfo.h>
#include <mesaroframework/MessageInfo.h>

namespace {

const char catalogueHelp[] =
    "usage: rtcmv catalogue [--json]\n"
    "\n"
    "Lists every message type and sub-record the library knows, with each field's display name,\n"
    "type and width, unit, scale factor, symbolic values and flags: the RTCMV format, then RTCM2X\n"
    "(the RTCM 2 types outside RTCMV).\n"
    "\n"
    "options:\n"
    "  --json   one JSON object: {\"format\": \"RTCMV\", \"messages\": [...], \"other_formats\":\n"
    "           [{\"format\": \"RTCM2X\", \"messages\": [...]}]}\n";

QString className(const FieldInfo *field)
{
    const auto *rtcmv = dynamic_cast<const RTCMV_FieldInfoBase *>(field);
    return rtcmv != nullptr ? rtcmv->getClassName() : QString();
}

bool hasWidth(const FieldType &type)
{
    return type.kind() == FieldType::Unsigned || type.kind() == FieldType::Signed;
}

QString typeText(const FieldType &type)
{
    if (hasWidth(type))
        return QStringLiteral("%1(%2)").arg(FieldType::kindName(type.kind())).arg(type.width());
    if (type.kind() == FieldType::SubMessage)
        return QStringLiteral("subMessage(%1)").arg(type.getSubMessageInfo()->getName());
    return FieldType::kindName(type.kind());
}

// A raw value of the catalogue as a JSON number (symbolic values, do-not-use values, discriminants).
void jsonValue(JsonWriter &json, const FieldValue &value)
{
    if (value.kind() == FieldType::Signed)
        json.value(static_cast<long long>(value.toInt64()));
    else
        json.value(static_cast<unsigned long long>(value.toUInt64()));
}

void printFieldJson(JsonWriter &json, const FieldInfo *field)
{
    const FieldType &type = field->getType();
    json.beginObject();
    json.key("name").value(field->getName());
    json.key("class").value(className(field));
    json.key("display").value(field->getDisplayName());
    json.key("type").value(FieldType::kindName(type.kind()));
    json.key("width");
    hasWidth(type) ? json.value(type.width()) : json.null();
    json.key("unit").value(field->getUnit());
    json.key("scale");
    field->hasScaleFactor() ? json.value(field->getScaleFactor()) : json.null();
    json.key("symbols").beginArray();
    for (const auto &symbol : field->getSymbolicValues()) {
        json.beginArray();
        jsonValue(json, symbol.first);
        json.value(symbol.second).endArray();
    }
    json.endArray();
    json.key("optional").value(field->isOptional());
    json.key("repeated").value(field->isRepeated());
    json.key("virtual").value(field->isVirtual());
    json.key("role").value(field->hasRole());
    json.key("doNotUse");
    field->hasDoNotUseValue() ? jsonValue(json, field->getDoNotUseValue()) : void(json.null());
    json.key("subFields").beginArray();
    for (const FieldInfo *sub : field->getSubFieldInfos())
        json.value(sub->getName());
    json.endArray();
    json.key("subMessage");
    type.kind() == FieldType::SubMessage ? json.value(type.getSubMessageInfo()->getName()) : json.null();
    json.endObject();
}

void printMessageJson(JsonWriter &json, const MessageInfo *info)
{
    json.beginObject();
    json.key("name").value(info->getName());
    json.key("display").value(info->getDisplayName());
    json.key("description").value(info->getShortDescriptiveText());
    json.key("main").value(info->isMain());
    json.key("discriminant");
    if (info->getDiscriminants().isEmpty())
        json.null();
    else
        jsonValue(json, info->getDiscriminants().first().second);
    json.key("fields").beginArray();
    for (const FieldInfo *field : info->getFieldInfos())
        printFieldJson(json, field);
    json.endArray().endObject();
}

void printFormatMembers(JsonWriter &json, const FormatInfo *format)
{
    json.key("format").value(format->getName());
    json.key("messages").beginArray();
    for (const MessageInfo *info : format->getAllMessageInfos())
        printMessageJson(json, info);
    json.endArray();
}

// The first format's members stay at the top, as before there was a second one.
void printJson(Output &out, const QVector<const FormatInfo *> &formats)
{
    JsonWriter json(out);
    json.beginObject();
    printFormatMembers(json, formats.first());
    json.key("other_formats").beginArray();
    for (int i = 1; i < formats.size(); ++i) {
        json.beginObject();
        printFormatMembers(json, formats[i]);
        json.endObject();
    }
    json.endArray().endObject();
    json.endLine();
}

void printText(Output &out, const FormatInfo *format)
{
    out << "format " << format->getName();
    out.endLine();
    for (const MessageInfo *info : format->getAllMessageInfos()) {
        out.endLine();
        out << info->getDisplayName() << " (" << info->getName() << (info->isMain() ? ")" : ", sub-record)");
        if (!info->getShortDescriptiveText().isEmpty())
            out << " - " << info->getShortDescriptiveText();
        out.endLine();
        int position = 0;
        for (const FieldInfo *field : info->getFieldInfos()) {
            out << "  " << position++ << ' ' << field->getName() << " \"" << field->getDisplayName() << "\" "
                << typeText(field->getType());
            if (!field->getUnit().isEmpty())
                out << " unit " << field->getUnit();
            if (field->hasScaleFactor())
                out << " scale " << QString::number(field->getScaleFactor(), 'g', 17);
            if (field->isOptional())
                out << " optional";
            if (field->isRepeated())
                out << " repeated";
            if (field->isVirtual())
                out << " virtual";
            if (field->hasDoNotUseValue())
                out << " do-not-use " << field->getDoNotUseValue().toString();
            for (const FieldInfo *sub : field->getSubFieldInfos())
                out << " sub-field " << sub->getName();
            out.endLine();
            for (const auto &symbol : field->getSymbolicValues()) {
                out << "      " << symbol.first.toString() << " = " << symbol.second;
                out.endLine();
            }
        }
    }
}

} // namespace

int runCatalogue(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("json"), QString()});
    const int status = parseCommandLine(parser, arguments, QStringLiteral("catalogue"), catalogueHelp, nullptr);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    const bool json = parser.isSet(QStringLiteral("json"));
    Output out(stdout);
    const QVector<const FormatInfo *> formats = DecoderRouter::catalogues();
    if (json) {
        printJson(out, formats);
    } else {
        for (const FormatInfo *format : formats) {
            if (format != formats.first())
                out.endLine();
            printText(out, format);
        }
    }
    out.flush();
    if (out.failed()) {
        reportError(QStringLiteral("cannot write the output"));
        return ExitUsage;
    }
    return ExitOk;
}
