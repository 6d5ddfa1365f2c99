// rtcmv catalogue: lists the format, every message descriptor and every field descriptor, read from
// the catalogue objects themselves.
#include "Commands.h"
#include "Output.h"

#include <RTCMV_FieldInfoBase.h>
#include <RTCMV_FormatInfo.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/MessageInfo.h>

namespace {

const char catalogueHelp[] =
    "usage: rtcmv catalogue [--json]\n"
    "\n"
    "Lists every message type and sub-record the library knows, with each field's display name,\n"
    "type and width, unit, scale factor, symbolic values and flags.\n"
    "\n"
    "options:\n"
    "  --json   one JSON object: {\"format\": ..., \"messages\": [...]}\n";

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
void jsonValue(Output &out, const FieldValue &value)
{
    if (value.kind() == FieldType::Signed)
        out << static_cast<long long>(value.toInt64());
    else
        out << static_cast<unsigned long long>(value.toUInt64());
}

void printJson(Output &out, const FormatInfo *format)
{
    out << "{\"format\":";
    out.jsonString(format->getName());
    out << ",\"messages\":[";
    bool firstMessage = true;
    for (const MessageInfo *info : format->getAllMessageInfos()) {
        if (!firstMessage)
            out << ',';
        firstMessage = false;
        out << "{\"name\":";
        out.jsonString(info->getName());
        out << ",\"display\":";
        out.jsonString(info->getDisplayName());
        out << ",\"description\":";
        out.jsonString(info->getShortDescriptiveText());
        out << ",\"main\":" << (info->isMain() ? "true" : "false") << ",\"discriminant\":";
        if (info->getDiscriminants().isEmpty())
            out << "null";
        else
            jsonValue(out, info->getDiscriminants().first().second);
        out << ",\"fields\":[";
        bool firstField = true;
        for (const FieldInfo *field : info->getFieldInfos()) {
            if (!firstField)
                out << ',';
            firstField = false;
            const FieldType &type = field->getType();
            out << "{\"name\":";
            out.jsonString(field->getName());
            out << ",\"class\":";
            out.jsonString(className(field));
            out << ",\"display\":";
            out.jsonString(field->getDisplayName());
            out << ",\"type\":";
            out.jsonString(FieldType::kindName(type.kind()));
            out << ",\"width\":";
            if (hasWidth(type))
                out << type.width();
            else
                out << "null";
            out << ",\"unit\":";
            out.jsonString(field->getUnit());
            out << ",\"scale\":";
            if (field->hasScaleFactor())
                out.jsonDouble(field->getScaleFactor());
            else
                out << "null";
            out << ",\"symbols\":[";
            bool firstSymbol = true;
            for (const auto &symbol : field->getSymbolicValues()) {
                if (!firstSymbol)
                    out << ',';
                firstSymbol = false;
                out << '[';
                jsonValue(out, symbol.first);
                out << ',';
                out.jsonString(symbol.second);
                out << ']';
            }
            out << "],\"optional\":" << (field->isOptional() ? "true" : "false");
            out << ",\"repeated\":" << (field->isRepeated() ? "true" : "false");
            out << ",\"virtual\":" << (field->isVirtual() ? "true" : "false");
            out << ",\"role\":" << (field->hasRole() ? "true" : "false");
            out << ",\"doNotUse\":";
            if (field->hasDoNotUseValue())
                jsonValue(out, field->getDoNotUseValue());
            else
                out << "null";
            out << ",\"subFields\":[";
            bool firstSub = true;
            for (const FieldInfo *sub : field->getSubFieldInfos()) {
                if (!firstSub)
                    out << ',';
                firstSub = false;
                out.jsonString(sub->getName());
            }
            out << "],\"subMessage\":";
            if (type.kind() == FieldType::SubMessage)
                out.jsonString(type.getSubMessageInfo()->getName());
            else
                out << "null";
            out << '}';
        }
        out << "]}";
    }
    out << "]}";
    out.endLine();
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
    bool json = false;
    for (const QString &a : arguments) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(catalogueHelp, stdout);
            return ExitOk;
        } else if (a == QLatin1String("--json")) {
            json = true;
        } else {
            reportError(QStringLiteral("unexpected argument '%1'").arg(a));
            std::fputs(catalogueHelp, stderr);
            return ExitUsage;
        }
    }
    Output out(stdout);
    if (json)
        printJson(out, RTCMV_FormatInfo::getInstance());
    else
        printText(out, RTCMV_FormatInfo::getInstance());
    out.flush();
    if (out.failed()) {
        reportError(QStringLiteral("cannot write the output"));
        return ExitUsage;
    }
    return ExitOk;
}
