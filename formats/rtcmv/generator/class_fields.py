"""One emitter per field layout for the message classes: the getters a field gives its message
class, the descriptor template it instantiates, its settings and its part of the raw line.
"""

from codec_fields import c_expr
from templates import named, render

NS = "Nvt::Mesaro::"


def cxx_string(text):
    """A C++ string literal for text (the texts of the description are plain ASCII)."""
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def qs(text):
    return "QStringLiteral(%s)" % cxx_string(text)


def message_class(record):
    return named("${P}_%s_Message") % record.name


def info_class(record):
    return named("${P}_%s_MessageInfo") % record.name


def field_class(record, field):
    return named("${P}_%s_%s_FieldInfo") % (record.name, field.name.rstrip("_"))


HAS = """
bool has$name() const
{
    const Record *r = record();
    return $condition;
}
"""

OPTIONAL_VALUE = """
$type get$name() const
{
    if (!has$name())
        ${P}_detail::throwAbsentField(messageInfo(), "$name");
    return record()->$name;
}
"""

VALUE = """
$type get$name() const { return record()->$name; }
"""

INLINE_ARRAY = """
$has
$type get$name(unsigned int index) const
{
    return valueAt(record()->$name, getNumberOf$name(), index, "$name");
}
$type *get${name}Array() { return rawRecord() ? rawRecord()->$name : nullptr; }
const $type *get${name}Array() const { return rawRecord() ? rawRecord()->$name : nullptr; }
QVector<$type> get${name}Vector() const { return vectorOf(record()->$name, getNumberOf$name()); }
unsigned int getNumberOf$name() const
{
    const Record *r = record();
    return $count;
}
"""

SUB_RECORDS = """
$class *get$name(unsigned int index) { return subMessageAt(index, "$name"); }
const $class *get$name(unsigned int index) const { return subMessageAt(index, "$name"); }
QVector<$class *> get${name}Vector() { return subMessageVector(); }
QVector<const $class *> get${name}Vector() const { return subMessageVector(); }
$count
"""

FIXED_COUNT = """
unsigned int getNumberOf$name() const
{
    record();
    return heldSubRecords($fixed);
}
"""

VARIABLE_COUNT = """
unsigned int getNumberOf$name() const { return heldSubRecords(record()->$count); }
"""


class AccessorEmitter:
    """What every layout shares: the descriptor class, its type and its settings."""

    def __init__(self, record, field, sub):
        self.record = record
        self.field = field
        self.sub = sub
        self.field_class = field_class(record, field)
        self.message_class = message_class(record)

    def has(self):
        if not self.field.optional:
            return []
        return render(HAS, name=self.field.name, condition=c_expr(self.field.when))

    def getter(self, prefix):
        return "&%s::%s%s" % (self.message_class, prefix, self.field.name)

    def descriptor_base(self):
        """<PREFIX>_FieldInfo<message, value type, get, get at, count, has[, array]>."""
        has = self.getter("has") if self.field.optional else "nullptr"
        return named("${P}_FieldInfo<%s>") % ", ".join([self.message_class, self.value_type()]
                                                 + self.getters() + [has] + self.array_getter())

    def value_type(self):
        return self.field.ctype

    def array_getter(self):
        return []

    def field_type(self):
        kind, width = self.field.presentation.kind, self.field.presentation.width
        if kind in ("u", "i"):
            return "FieldType::%s(%d)" % (kind, width)
        if kind == "subMessage":
            return "FieldType::subMessage(%s::getInstance())" % info_class(self.sub)
        return "FieldType::%s()" % kind

    def descriptor_settings(self):
        field = self.field
        settings = ["setIsOptional(true);"] if field.optional else []
        settings += ["setIsRepeated(true);"] if field.repeated else []
        settings.append("setConfidential(true);")
        settings += ["setVirtual(true);"] if field.virtual else []
        settings += ["addSubFieldInfo(%s::getInstance());" % field_class(self.record, self.record.field(name))
                     for name in field.subfields]
        settings += ["setRole(FieldInfo::DataRole);"] if field.role else []
        settings += ["setUnit(%s);" % qs(field.unit)] if field.unit else []
        if field.scale is not None:
            settings.append("setScaleFactor(%s); // %s" % (repr(field.scale), field.scale_text))
        settings += ["addSymbol(%d, %s);" % (value, qs(label)) for value, label in field.symbols]
        if field.do_not_use is not None:
            settings.append("setDoNotUseValue(valueOfType(%d));" % field.do_not_use)
        return settings


class ValueAccessors(AccessorEmitter):
    """A wire or derived field: one value."""

    def accessors(self):
        name, type_ = self.field.name, self.field.ctype
        if self.field.optional:
            return self.has() + render(OPTIONAL_VALUE, name=name, type=type_)
        return render(VALUE, name=name, type=type_)

    def getters(self):
        return [self.getter("get"), "nullptr", "nullptr"]

    def raw_statement(self):
        field, value = self.field, "r->%s" % self.field.name
        kind = field.presentation.kind
        if kind == "byte":
            return "line.byte(%s);" % value
        if kind == "f64":
            return "line.f64(%s);" % value
        if field.do_not_use is not None:
            return "line.numberOrDoNotUse(%s, %d);" % (value, field.do_not_use)
        if kind == "i":
            return "line.number(static_cast<long long>(%s));" % value
        return "line.number(static_cast<unsigned long long>(%s));" % value


class InlineArrayAccessors(AccessorEmitter):
    """An inline array or text: element getters, never more elements than the array holds."""

    def count(self):
        return "qMin<unsigned int>(r->%s, %d)" % (self.field.count, self.field.capacity)

    def accessors(self):
        return render(INLINE_ARRAY, has=self.has(), name=self.field.name, type=self.field.ctype,
                      count=self.count())

    def getters(self):
        return ["nullptr", self.getter("get"), self.getter("getNumberOf")]

    def array_getter(self):
        return [self.getter("get") + "Array"] if self.field.layout == "text" else []

    def raw_statement(self):
        value = "r->%s" % self.field.name
        if self.field.layout == "text":
            return "line.text(%s, %s);" % (value, self.count())
        if self.field.presentation.kind == "byte":
            return "line.byteList(%s, %s);" % (value, self.count())
        return "line.list(%s, %s);" % (value, self.count())


class SubRecordAccessors(AccessorEmitter):
    """A sub-record block: its elements as message objects."""

    def count(self):
        return str(self.field.fixed) if self.field.fixed else "r->" + self.field.count

    def accessors(self):
        name = self.field.name
        if self.field.fixed:
            count = render(FIXED_COUNT, name=name, fixed=self.field.fixed)
        else:
            count = render(VARIABLE_COUNT, name=name, count=self.field.count)
        return render(SUB_RECORDS, name=name, count=count, **{"class": message_class(self.sub)})

    def value_type(self):
        return "const %s *" % message_class(self.sub)

    def getters(self):
        return ["nullptr", self.getter("get"), self.getter("getNumberOf")]

    def raw_statement(self):
        return "line.subMessages(heldSubRecords(%s));" % self.count()


ACCESSOR_EMITTERS = {"wire": ValueAccessors, "derived": ValueAccessors, "array": InlineArrayAccessors,
                     "text": InlineArrayAccessors, "records": SubRecordAccessors}


def accessor_emitter(record, field, sub):
    return ACCESSOR_EMITTERS[field.layout](record, field, sub)
