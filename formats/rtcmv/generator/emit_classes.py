"""Writes the catalogue and message classes: RTCMV_FormatInfo, one header and source per record
(message class, field descriptors, message descriptor), the message factory and an umbrella header.

The behaviour lives in the hand-written templates RTCMV_MessageBase and RTCMV_FieldInfo; the code
written here only names records, getters, types and texts.
"""

import os

from emit_codec import BANNER, struct_name, write_if_changed

NS = "Nvt::Mesaro::"


def cxx_string(text):
    """A C++ string literal for text (the texts of the description are plain ASCII)."""
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def qs(text):
    return "QStringLiteral(%s)" % cxx_string(text)


def message_class(rec):
    return "RTCMV_%s_Message" % rec.name


def info_class(rec):
    return "RTCMV_%s_MessageInfo" % rec.name


def field_class(rec, f):
    return "RTCMV_%s_%s_FieldInfo" % (rec.name, f.name.rstrip("_"))


def outputs(model):
    names = ["RTCMV_FormatInfo.h", "RTCMV_FormatInfo.cpp", "RTCMV_messages.h", "RTCMV_messages.cpp"]
    for r in model.records:
        names += ["RTCMV_%s.h" % r.name, "RTCMV_%s.cpp" % r.name]
    return names


def main_record_of(model, rec):
    """The display name used in a message's access texts: its own."""
    return rec.display


class RecordWriter:
    def __init__(self, model, rec):
        self.m = model
        self.r = rec
        self.rf = model.records_field(rec)
        self.sub = model.by_name[self.rf.element] if self.rf is not None else None

    # ---- presence and counts ------------------------------------------------------------
    def count_expr(self, f, rec_var="r"):
        if f.what == "records":
            return str(f.fixed) if f.fixed else "%s->%s" % (rec_var, f.count)
        # inline arrays: never more than the array holds
        return "qMin<unsigned int>(%s->%s, %d)" % (rec_var, f.count, f.capacity)

    def cond(self, f, rec_var="r"):
        from emit_codec import c_expr
        return c_expr(f.when, rec_var + "->")

    # ---- header --------------------------------------------------------------------------
    def header(self):
        r, m = self.r, self.m
        out = [BANNER, "// %s: message class, field descriptors and message descriptor." % r.display,
               "#pragma once\n"]
        out.append('#include "RTCMV_FormatInfo.h"')
        if self.sub is not None:
            out.append('#include "RTCMV_%s.h"' % self.sub.name)
        out.append('#include "RTCMV_FieldInfoBase.h"')
        out.append('#include "RTCMV_MessageBase.h"')
        out.append("#include <RTCMV_codec.h>\n")
        out.append("#include <mesaroframework/MessageInfo.h>\n")
        out += self.message_class_decl()
        for f in r.fields:
            out += self.field_class_decl(f)
        out += self.info_class_decl()
        return "\n".join(out) + "\n"

    def message_class_decl(self):
        r = self.r
        mc = message_class(r)
        rec_t = NS + struct_name(r)
        base = "RTCMV_MessageBase<%s, %s%s>" % (mc, rec_t, ", " + message_class(self.sub) if self.sub else "")
        o = ["class %s : public %s" % (mc, base), "{", "public:"]
        o.append("    using Record = %s;\n" % rec_t)
        if r.main:
            o.append("    %s(Record *representation, bool ownsRepresentation)" % mc)
            o.append("        : RTCMV_MessageBase(representation, ownsRepresentation)\n    {\n    }")
        else:
            o.append("    %s(Record *representation, Message *parent, bool ownsRepresentation)" % mc)
            o.append("        : RTCMV_MessageBase(representation, parent, ownsRepresentation)\n    {\n    }")
        o.append("    ~%s() override = default;\n" % mc)
        for f in r.fields:
            o += self.accessors(f)
        o.append("    QString getRawStringFor(const QVector<bool> &flags) const override;\n")
        o.append("    static QString className() { return %s; }" % qs(mc))
        o.append("    static const MessageInfo *messageInfo();")
        o.append("    static TraceChannel &traceChannel();")
        if self.rf is not None:
            o.append("    static %s%s *subRecords(Record *r) { return r->%s; }"
                     % (NS, struct_name(self.sub), self.rf.name))
            if self.rf.fixed:
                o.append("    static unsigned int subRecordCount(const Record *) { return %d; }" % self.rf.fixed)
            else:
                o.append("    static unsigned int subRecordCount(const Record *r) { return %s; }"
                         % self.count_expr(self.rf))
        o.append("};\n")
        return o

    def accessors(self, f):
        o = []
        name = f.name
        if f.what in ("wire", "derived"):
            if f.optional:
                o.append("    bool has%s() const" % name)
                o.append("    {\n        const Record *r = record();\n        return %s;\n    }" % self.cond(f))
                o.append("    %s get%s() const" % (f.ctype, name))
                o.append("    {")
                o.append("        if (!has%s())" % name)
                o.append('            RTCMV_detail::throwAbsentField(messageInfo(), "%s");' % name)
                o.append("        return record()->%s;\n    }" % name)
            else:
                o.append("    %s get%s() const { return record()->%s; }" % (f.ctype, name, name))
        elif f.what in ("array", "text"):
            t = f.ctype
            if f.optional:
                o.append("    bool has%s() const" % name)
                o.append("    {\n        const Record *r = record();\n        return %s;\n    }" % self.cond(f))
            o.append("    %s get%s(unsigned int index) const" % (t, name))
            o.append('    {\n        return valueAt(record()->%s, getNumberOf%s(), index, "%s");\n    }'
                     % (name, name, name))
            o.append("    %s *get%sArray() { return rawRecord() ? rawRecord()->%s : nullptr; }" % (t, name, name))
            o.append("    const %s *get%sArray() const { return rawRecord() ? rawRecord()->%s : nullptr; }"
                     % (t, name, name))
            o.append("    QVector<%s> get%sVector() const { return vectorOf(record()->%s, getNumberOf%s()); }"
                     % (t, name, name, name))
            o.append("    unsigned int getNumberOf%s() const" % name)
            o.append("    {\n        const Record *r = record();\n        return %s;\n    }" % self.count_expr(f))
        elif f.what == "records":
            s = message_class(self.sub)
            o.append('    %s *get%s(unsigned int index) { return subMessageAt(index, "%s"); }' % (s, name, name))
            o.append('    const %s *get%s(unsigned int index) const { return subMessageAt(index, "%s"); }'
                     % (s, name, name))
            o.append("    QVector<%s *> get%sVector() { return subMessageVector(); }" % (s, name))
            o.append("    QVector<const %s *> get%sVector() const { return subMessageVector(); }" % (s, name))
            if f.fixed:
                o.append("    unsigned int getNumberOf%s() const\n    {\n        record();\n        return %d;\n    }"
                         % (name, f.fixed))
            else:
                o.append("    unsigned int getNumberOf%s() const { return record()->%s; }" % (name, f.count))
        return o

    def field_template(self, f):
        mc = message_class(self.r)
        if f.what == "records":
            t = "const %s *" % message_class(self.sub)
        else:
            t = f.ctype
        get = getat = count = has = "nullptr"
        array = None
        if f.what in ("wire", "derived"):
            get = "&%s::get%s" % (mc, f.name)
        else:
            getat = "&%s::get%s" % (mc, f.name)
            count = "&%s::getNumberOf%s" % (mc, f.name)
            if f.what == "text":
                array = "&%s::get%sArray" % (mc, f.name)
        if f.optional:
            has = "&%s::has%s" % (mc, f.name)
        args = [mc, t, get, getat, count, has] + ([array] if array else [])
        return "RTCMV_FieldInfo<%s>" % ", ".join(args)

    def field_class_decl(self, f):
        fc = field_class(self.r, f)
        return ["class %s : public %s" % (fc, self.field_template(f)), "{", "public:",
                "    static const %s *getInstance();\n" % fc,
                "private:", "    %s();" % fc, "};\n"]

    def info_class_decl(self):
        ic = info_class(self.r)
        return ["class %s : public RTCMV_MessageInfoBase" % ic, "{", "public:",
                "    static const %s *getInstance();" % ic,
                "    %s(const %s &) = default;" % (ic, ic),
                "    %s &operator=(const %s &) = default;\n" % (ic, ic),
                "private:", "    %s();" % ic, "    ~%s() override = default;" % ic,
                "    void setupFields();", "};\n"]

    # ---- source ------------------------------------------------------------------------
    def source(self):
        r = self.r
        o = [BANNER, '#include "RTCMV_%s.h"\n' % r.name, "#include <nvttrace/dbg.h>\n"]
        mc, ic = message_class(r), info_class(r)
        o.append('static TraceChannel messageChannel{"Mesaro_RTCMV", "%s"};' % mc)
        o.append('static TraceChannel infoChannel{"Mesaro_RTCMV", "%s"};\n' % ic)
        o.append("// ---- %s ----\n" % mc)
        o.append("const MessageInfo *%s::messageInfo()\n{\n    return %s::getInstance();\n}\n" % (mc, ic))
        o.append("TraceChannel &%s::traceChannel()\n{\n    return messageChannel;\n}\n" % mc)
        o += self.raw_string()
        for f in r.fields:
            o += self.field_source(f)
        o += self.info_source()
        return "\n".join(o) + "\n"

    def raw_string(self):
        r = self.r
        o = ["QString %s::getRawStringFor(const QVector<bool> &flags) const" % message_class(r), "{",
             "    enter();", "    const Record *r = rawRecord();", "    RTCMV_RawLine line(flags);"]
        for f in r.fields:
            pk = f.ptype.kind
            v = "r->%s" % f.name
            if f.what == "records":
                stmt = "line.subMessages(%s);" % self.count_expr(f)
            elif f.what == "text":
                stmt = "line.text(%s, %s);" % (v, self.count_expr(f))
            elif f.what == "array":
                if pk == "byte":
                    stmt = "line.byteList(%s, %s);" % (v, self.count_expr(f))
                else:
                    stmt = "line.list(%s, %s);" % (v, self.count_expr(f))
            elif pk == "byte":
                stmt = "line.byte(%s);" % v
            elif pk == "f64":
                stmt = "line.f64(%s);" % v
            elif f.dnu is not None:
                stmt = "line.numberOrDoNotUse(%s, %d);" % (v, f.dnu)
            elif pk == "i":
                stmt = "line.number(static_cast<long long>(%s));" % v
            else:
                stmt = "line.number(static_cast<unsigned long long>(%s));" % v
            if f.optional:
                o.append("    if (%s)" % self.cond(f))
                o.append("        " + stmt)
                o.append("    else\n        line.absent();")
            else:
                o.append("    " + stmt)
        o.append("    return line.take();\n}\n")
        return o

    def field_type(self, f):
        pk, w = f.ptype.kind, f.ptype.width
        if pk in ("u", "i"):
            return "FieldType::%s(%d)" % (pk, w)
        if pk == "subMessage":
            return "FieldType::subMessage(%s::getInstance())" % info_class(self.sub)
        return "FieldType::%s()" % pk

    def field_source(self, f):
        r = self.r
        fc = field_class(r, f)
        o = ["// ---- %s ----\n" % fc]
        o.append("const %s *%s::getInstance()\n{" % (fc, fc))
        o.append("    RTCMV_FormatInfo::getInstance(); // builds the whole catalogue, this descriptor included")
        o.append("    static %s instance;\n    return &instance;\n}\n" % fc)
        o.append("%s::%s()" % (fc, fc))
        o.append("    : Base(%s, %s, %s, %s, %s)" % (qs(f.display), self.field_type(f), qs(fc),
                                                    qs(r.display), qs(f.name)))
        o.append("{")
        if f.optional:
            o.append("    setIsOptional(true);")
        if f.repeated:
            o.append("    setIsRepeated(true);")
        o.append("    setConfidential(true);")
        if f.virtual:
            o.append("    setVirtual(true);")
        for sf in f.subfields:
            o.append("    addSubFieldInfo(%s::getInstance());" % field_class(r, r.field(sf)))
        if f.role:
            o.append("    setRole(FieldInfo::DataRole);")
        if f.unit:
            o.append("    setUnit(%s);" % qs(f.unit))
        if f.scale is not None:
            o.append("    setScaleFactor(%s); // %s" % (repr(f.scale), f.scale_text))
        for value, label in f.symbols:
            o.append("    addSymbol(%d, %s);" % (value, qs(label)))
        if f.dnu is not None:
            o.append("    setDoNotUseValue(valueOfType(%d));" % f.dnu)
        o.append("}\n")
        return o

    def info_source(self):
        r = self.r
        ic = info_class(r)
        o = ["// ---- %s ----\n" % ic]
        o.append("const %s *%s::getInstance()\n{" % (ic, ic))
        o.append("    RTCMV_FormatInfo::getInstance(); // builds the whole catalogue, this descriptor included")
        o.append("    static %s instance;\n    return &instance;\n}\n" % ic)
        desc = qs(r.description) if r.main else "QString()"
        o.append("%s::%s()" % (ic, ic))
        o.append("    : RTCMV_MessageInfoBase(%s, %s, infoChannel, %s, %s)"
                 % (qs(r.display), qs(ic), "true" if r.main else "false", desc))
        o.append("{\n    setupFields();")
        if r.main:
            mt = field_class(r, r.field("Message_Type"))
            o.append("    addDiscriminantValue(%s::getInstance(), FieldValue::u(%d, 6));" % (mt, r.msg_type))
        o.append("}\n")
        o.append("void %s::setupFields()\n{" % ic)
        o.append("    enter();")
        for i, f in enumerate(r.fields):
            o.append("    addFieldInfo(%s::getInstance(), %d, false);" % (field_class(r, f), i))
        o.append("}")
        return o


def format_info(model):
    h = [BANNER, "// The RTCMV format descriptor: root of the catalogue of message descriptors.",
         "#pragma once\n", "#include <mesaroframework/FormatInfo.h>\n",
         '#include "RTCMV_MessageInfoBase.h"\n',
         "class RTCMV_FormatInfo : public FormatInfo", "{", "public:",
         "    static const RTCMV_FormatInfo *getInstance();",
         "    RTCMV_FormatInfo(const RTCMV_FormatInfo &) = default;",
         "    RTCMV_FormatInfo &operator=(const RTCMV_FormatInfo &) = default;\n",
         "private:", "    RTCMV_FormatInfo();", "    ~RTCMV_FormatInfo() override;",
         "    void setupMessageInfos();\n", "    bool messageInfosSetUp;", "};"]
    c = [BANNER, '#include "RTCMV_FormatInfo.h"\n', '#include "RTCMV_messages.h"\n',
         "#include <nvtguibase/MemLeakTracer.h>", "#include <nvttrace/dbg.h>\n",
         'static TraceChannel formatChannel{"Mesaro_RTCMV", "RTCMV_FormatInfo"};\n',
         "const RTCMV_FormatInfo *RTCMV_FormatInfo::getInstance()", "{",
         "    static RTCMV_FormatInfo instance;",
         "    // Descriptors built below ask for the format again; the flag, set first, ends those calls here.",
         "    if (!instance.messageInfosSetUp)", "        instance.setupMessageInfos();",
         "    return &instance;", "}\n",
         "RTCMV_FormatInfo::RTCMV_FormatInfo()", "    : FormatInfo(QStringLiteral(%s))" % cxx_string(model.format_name),
         "{", "    dbg_ResolveChannel(formatChannel);",
         '    MemLeakTracer::allocateObject(QStringLiteral("RTCMV_FormatInfo"));',
         "    messageInfosSetUp = false;", "}\n",
         "RTCMV_FormatInfo::~RTCMV_FormatInfo()", "{", "    dbg_ResolveChannel(formatChannel);",
         '    MemLeakTracer::deallocateObject(QStringLiteral("RTCMV_FormatInfo"));', "}\n",
         "void RTCMV_FormatInfo::setupMessageInfos()", "{", "    dbg_ResolveChannel(formatChannel);",
         "    messageInfosSetUp = true;"]
    for r in model.subs:
        c.append("    addSubMessageInfo(%s::getInstance());" % info_class(r))
    for r in model.mains_by_type:
        c.append("    addMessageInfo(%s::getInstance());" % info_class(r))
    c.append("}")
    return "\n".join(h) + "\n", "\n".join(c) + "\n"


def messages(model):
    h = [BANNER, "// Every RTCMV message class and descriptor, and the factory that wraps decoded records.",
         "#pragma once\n", '#include "RTCMV_FormatInfo.h"']
    for r in model.records:
        h.append('#include "RTCMV_%s.h"' % r.name)
    h.append("\n// Wraps the decoded record in storage `record` (any kind) in a new message object that owns a")
    h.append("// heap copy of it and its sub-record block; null when the kind is none of the known ones.")
    h.append("Message *RTCMV_createMessage(void *record);")
    c = [BANNER, '#include "RTCMV_messages.h"\n', "Message *RTCMV_createMessage(void *record)", "{",
         "    switch (*static_cast<const uint32_t *>(record)) {"]
    for r in model.records:
        c.append("    case %sRTCMV_KIND_%s:" % (NS, r.name))
        c.append("        return RTCMV_wrapRecord<%s>(record);" % message_class(r))
    c += ["    default:", "        return nullptr;", "    }", "}"]
    return "\n".join(h) + "\n", "\n".join(c) + "\n"


def write(model, out_dir):
    h, c = format_info(model)
    write_if_changed(os.path.join(out_dir, "RTCMV_FormatInfo.h"), h)
    write_if_changed(os.path.join(out_dir, "RTCMV_FormatInfo.cpp"), c)
    h, c = messages(model)
    write_if_changed(os.path.join(out_dir, "RTCMV_messages.h"), h)
    write_if_changed(os.path.join(out_dir, "RTCMV_messages.cpp"), c)
    for r in model.records:
        w = RecordWriter(model, r)
        write_if_changed(os.path.join(out_dir, "RTCMV_%s.h" % r.name), w.header())
        write_if_changed(os.path.join(out_dir, "RTCMV_%s.cpp" % r.name), w.source())
