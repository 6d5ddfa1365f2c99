"""Writes the catalogue and message classes: <PREFIX>_FormatInfo, one header and source per record
(message class, field descriptors, message descriptor), the message factory and an umbrella header.

The behaviour lives in the hand-written templates <PREFIX>_MessageBase and <PREFIX>_FieldInfo; the code
written here only names records, getters, types and texts.  What each field layout contributes
(accessors, descriptor template, raw-line statement) comes from class_fields.
"""

import os

from class_fields import NS, accessor_emitter, cxx_string, field_class, info_class, message_class, qs
from codec_fields import c_expr, struct_name
from emit_codec import banner, write_if_changed
from templates import join, named, render

RECORD_HEADER = """
// $display: message class, field descriptors and message descriptor.
#pragma once

#include "${P}_FormatInfo.h"
$sub_include
#include "${P}_FieldInfoBase.h"
#include "${P}_MessageBase.h"
#include <${P}_codec.h>

#include <mesaroframework/MessageInfo.h>

"""

MESSAGE_CLASS = """
class $class : public ${P}_MessageBase<$class, $record_type$sub_class>
{
public:
    using Record = $record_type;

    $class(Record *representation, ${parent}bool ownsRepresentation)
        : ${P}_MessageBase(representation, ${parent_argument}ownsRepresentation)
    {
    }
    ~$class() override = default;

    $accessors
    QString getRawStringFor(const QVector<bool> &flags) const override;

    static QString className() { return $class_literal; }
    static const MessageInfo *messageInfo();
    static TraceChannel &traceChannel();
    $sub_records
};

"""

SUB_RECORDS = """
static $NS$element_struct *subRecords(Record *r) { return r->$field; }
$count
"""

FIELD_CLASS = """
class $class : public $base
{
public:
    static const $class *getInstance();

private:
    $class();
};

"""

INFO_CLASS = """
class $class : public ${P}_MessageInfoBase
{
public:
    static const $class *getInstance();
    $class(const $class &) = default;
    $class &operator=(const $class &) = default;

private:
    $class();
    ~$class() override = default;
    void setupFields();
};

"""

RECORD_SOURCE = """
#include "${P}_$name.h"

#include <nvttrace/dbg.h>

static TraceChannel messageChannel{"Mesaro_${P}", "$message_class"};
static TraceChannel infoChannel{"Mesaro_${P}", "$info_class"};

// ---- $message_class ----

const MessageInfo *$message_class::messageInfo()
{
    return $info_class::getInstance();
}

TraceChannel &$message_class::traceChannel()
{
    return messageChannel;
}

QString $message_class::getRawStringFor(const QVector<bool> &flags) const
{
    enter();
    const Record *r = rawRecord();
    ${P}_RawLine line(flags);
    $raw_line
    return line.take();
}

"""

OPTIONAL_RAW_VALUE = """
if ($condition)
    $statement
else
    line.absent();
"""

# Every descriptor is a singleton whose first use builds the whole catalogue.
SINGLETON = """
// ---- $class ----

const $class *$class::getInstance()
{
    ${P}_FormatInfo::getInstance(); // builds the whole catalogue, this descriptor included
    static $class instance;
    return &instance;
}
"""

FIELD_SOURCE = SINGLETON + """
$class::$class()
    : Base($display, $type, $class_literal, $record_display, $name_literal)
{
    $settings
}

"""

INFO_SOURCE = SINGLETON + """
$class::$class()
    : ${P}_MessageInfoBase($display, $class_literal, infoChannel, $main, $description)
{
    setupFields();
    $discriminant
}

void $class::setupFields()
{
    enter();
    $fields
}
"""


def outputs(model):
    names = [named(name) for name in ("${P}_FormatInfo.h", "${P}_FormatInfo.cpp",
                                      "${P}_messages.h", "${P}_messages.cpp")]
    for record in model.records:
        names += [named("${P}_%s.h") % record.name, named("${P}_%s.cpp") % record.name]
    return names


class RecordWriter:
    def __init__(self, model, record):
        self.model = model
        self.record = record
        self.block = model.records_field(record)
        self.sub = model.by_name[self.block.element] if self.block is not None else None
        self.fields = [accessor_emitter(record, field, self.sub) for field in record.fields]

    # ---- header --------------------------------------------------------------------------
    def header(self):
        record = self.record
        lines = banner().split("\n")
        lines += render(RECORD_HEADER, display=record.display,
                        sub_include=[named('#include "${P}_%s.h"') % self.sub.name] if self.sub else [])
        lines += self.message_class_declaration()
        for emitter in self.fields:
            lines += render(FIELD_CLASS, **{"class": emitter.field_class, "base": emitter.descriptor_base()})
        lines += render(INFO_CLASS, **{"class": info_class(record)})
        return join(lines)

    def message_class_declaration(self):
        record = self.record
        name = message_class(record)
        values = {"class": name, "record_type": NS + struct_name(record), "class_literal": qs(name),
                  "sub_class": ", " + message_class(self.sub) if self.sub else "",
                  "parent": "" if record.main else "Message *parent, ",
                  "parent_argument": "" if record.main else "parent, "}
        accessors = [line for emitter in self.fields for line in emitter.accessors()]
        return render(MESSAGE_CLASS, accessors=accessors, sub_records=self.sub_record_access(), **values)

    def sub_record_access(self):
        if self.block is None:
            return []
        if self.block.fixed:
            count = "static unsigned int subRecordCount(const Record *) { return %d; }" % self.block.fixed
        else:
            count = "static unsigned int subRecordCount(const Record *r) { return r->%s; }" % self.block.count
        return render(SUB_RECORDS, NS=NS, element_struct=struct_name(self.sub), field=self.block.name,
                      count=count)

    # ---- source ------------------------------------------------------------------------
    def source(self):
        record = self.record
        lines = banner().split("\n")
        lines += render(RECORD_SOURCE, name=record.name, message_class=message_class(record),
                        info_class=info_class(record), raw_line=self.raw_line())
        for emitter in self.fields:
            lines += render(FIELD_SOURCE, **{"class": emitter.field_class}, class_literal=qs(emitter.field_class),
                            display=qs(emitter.field.display), type=emitter.field_type(),
                            record_display=qs(record.display), name_literal=qs(emitter.field.name),
                            settings=emitter.descriptor_settings())
        return join(lines + self.info_source())

    def raw_line(self):
        lines = []
        for emitter in self.fields:
            statement = emitter.raw_statement()
            if emitter.field.optional:
                lines += render(OPTIONAL_RAW_VALUE, condition=c_expr(emitter.field.when), statement=statement)
            else:
                lines.append(statement)
        return lines

    def info_source(self):
        record = self.record
        discriminant = []
        if record.main:
            type_field = field_class(record, record.field("Message_Type"))
            discriminant = ["addDiscriminantValue(%s::getInstance(), FieldValue::u(%d, 6));"
                            % (type_field, record.msg_type)]
        fields = ["addFieldInfo(%s::getInstance(), %d, false);" % (emitter.field_class, index)
                  for index, emitter in enumerate(self.fields)]
        return render(INFO_SOURCE, **{"class": info_class(record)}, class_literal=qs(info_class(record)),
                      display=qs(record.display), main="true" if record.main else "false",
                      description=qs(record.description) if record.main else "QString()",
                      discriminant=discriminant, fields=fields)


# ------------------------------------------------------------ the format and the factory

FORMAT_HEADER = """
// The ${P} format descriptor: root of the catalogue of message descriptors.
#pragma once

#include <mesaroframework/FormatInfo.h>

#include "${P}_MessageInfoBase.h"

class ${P}_FormatInfo : public FormatInfo
{
public:
    static const ${P}_FormatInfo *getInstance();
    ${P}_FormatInfo(const ${P}_FormatInfo &) = default;
    ${P}_FormatInfo &operator=(const ${P}_FormatInfo &) = default;

private:
    ${P}_FormatInfo();
    ~${P}_FormatInfo() override;
    void setupMessageInfos();

    bool messageInfosSetUp;
};
"""

FORMAT_SOURCE = """
#include "${P}_FormatInfo.h"

#include "${P}_messages.h"

#include <nvtguibase/MemLeakTracer.h>
#include <nvttrace/dbg.h>

static TraceChannel formatChannel{"Mesaro_${P}", "${P}_FormatInfo"};

const ${P}_FormatInfo *${P}_FormatInfo::getInstance()
{
    static ${P}_FormatInfo instance;
    // Descriptors built below ask for the format again; the flag, set first, ends those calls here.
    if (!instance.messageInfosSetUp)
        instance.setupMessageInfos();
    return &instance;
}

${P}_FormatInfo::${P}_FormatInfo()
    : FormatInfo(QStringLiteral($format_name))
{
    dbg_ResolveChannel(formatChannel);
    MemLeakTracer::allocateObject(QStringLiteral("${P}_FormatInfo"));
    messageInfosSetUp = false;
}

${P}_FormatInfo::~${P}_FormatInfo()
{
    dbg_ResolveChannel(formatChannel);
    MemLeakTracer::deallocateObject(QStringLiteral("${P}_FormatInfo"));
}

void ${P}_FormatInfo::setupMessageInfos()
{
    dbg_ResolveChannel(formatChannel);
    messageInfosSetUp = true;
    $sub_records
    $messages
}
"""

MESSAGES_HEADER = """
// Every ${P} message class and descriptor, and the factory that wraps decoded records.
#pragma once

#include "${P}_FormatInfo.h"
$includes

// Wraps the decoded record in storage `record` (any kind) in a new message object that owns a
// heap copy of it and its sub-record block; null when the kind is none of the known ones.
Message *${P}_createMessage(void *record);

// The descriptor of kind ${P}_FIRST_KIND .. ${P}_LAST_KIND (the number the decoder gives the
// descriptor for its enable operations); null outside that range.
const MessageInfo *${P}_messageInfoOfKind(uint32_t kind);
"""

MESSAGES_SOURCE = """
#include "${P}_messages.h"

Message *${P}_createMessage(void *record)
{
    switch (*static_cast<const uint32_t *>(record)) {
    $wrap_cases
    default:
        return nullptr;
    }
}

const MessageInfo *${P}_messageInfoOfKind(uint32_t kind)
{
    switch (kind) {
    $info_cases
    default:
        return nullptr;
    }
}
"""

KIND_CASE = """
case ${NS}${P}_KIND_$name:
    return $result;
"""


def format_info(model):
    header = banner().split("\n") + render(FORMAT_HEADER)
    source = banner().split("\n") + render(
        FORMAT_SOURCE, format_name=cxx_string(model.format_name),
        sub_records=["addSubMessageInfo(%s::getInstance());" % info_class(record) for record in model.subs],
        messages=["addMessageInfo(%s::getInstance());" % info_class(record) for record in model.mains_by_type])
    return join(header), join(source)


def messages(model):
    def cases(result):
        return [line for record in model.records
                for line in render(KIND_CASE, NS=NS, name=record.name, result=result(record))]
    header = banner().split("\n") + render(
        MESSAGES_HEADER, includes=[named('#include "${P}_%s.h"') % record.name for record in model.records])
    source = banner().split("\n") + render(
        MESSAGES_SOURCE,
        wrap_cases=cases(lambda record: named("${P}_wrapRecord<%s>(record)") % message_class(record)),
        info_cases=cases(lambda record: "%s::getInstance()" % info_class(record)))
    return join(header), join(source)


def write(model, out_dir):
    header, source = format_info(model)
    write_if_changed(os.path.join(out_dir, named("${P}_FormatInfo.h")), header)
    write_if_changed(os.path.join(out_dir, named("${P}_FormatInfo.cpp")), source)
    header, source = messages(model)
    write_if_changed(os.path.join(out_dir, named("${P}_messages.h")), header)
    write_if_changed(os.path.join(out_dir, named("${P}_messages.cpp")), source)
    for record in model.records:
        writer = RecordWriter(model, record)
        write_if_changed(os.path.join(out_dir, named("${P}_%s.h") % record.name), writer.header())
        write_if_changed(os.path.join(out_dir, named("${P}_%s.cpp") % record.name), writer.source())
