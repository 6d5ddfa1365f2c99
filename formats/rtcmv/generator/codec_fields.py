"""One emitter per field layout: what a wire field, a derived field, an inline array or text, and a
sub-record block contribute to the record struct, to init, to the decoder and to the encoder.

The decoders and encoders keep the bit position and the bits they add in the locals `pos` and
`bits` (the compiler cannot keep them in registers through the record's char stores otherwise);
the function writes them back once, at its end.
"""

import re

from model import C_WORDS
from templates import named, render

_IDENT = re.compile(r"(?<![\w.])([A-Za-z_][A-Za-z0-9_]*)")

# The reader/writer family of each width class and signedness: the C type it takes.
_CLASS_TYPE = {
    (8, False): "unsigned char", (8, True): "signed char",
    (16, False): "unsigned short", (16, True): "short",
    (32, False): "unsigned int", (32, True): "int",
    (64, False): "uint64_t", (64, True): "int64_t",
}


def struct_name(record):
    return named("${P}_%s_s") % record.name


def kind_const(record):
    return named("${P}_KIND_%s") % record.name


def c_expr(expression, prefix="r->"):
    """A description expression over field names, rewritten to read the record."""
    def member(match):
        word = match.group(1)
        return word if word in C_WORDS else prefix + word
    return _IDENT.sub(member, expression)


def width_class(bits):
    """Width class of a field: which reader/writer family moves it."""
    for width in (8, 16, 32):
        if bits <= width:
            return width
    return 64


def primitive(field, write):
    """Name of the primitive and the C type it takes for a field (or one array element)."""
    if field.ctype == "char":
        return ("nvtcg_set_char" if write else "nvtcg_get_char"), "char"
    width = width_class(field.bits)
    return ("nvtcg_%s_%s%d" % ("set" if write else "get", "int" if field.signed else "uint", width),
            _CLASS_TYPE[(width, field.signed)])


# ---------------------------------------------------------------- wire fields

READ_WIRE = """
if (pos + $bits <= limit) {
    $read
    pos += $bits;
    bits += $bits;
    $derived
} else {
    err = $error;
}
"""

READ_DIRECT = """
$primitive(buffer, size, pos, $bits, &r->$target);
"""

READ_CONVERTED = """
$type value;
$primitive(buffer, size, pos, $bits, &value);
r->$target = ($storage)value;
"""

WRITE_WIRE = """
if (pos + $bits <= limit) {
    $primitive(buffer, size, pos, $bits, ($type)r->$name);
    pos += $bits;
    bits += $bits;
} else {
    err = $error;
}
"""

CONDITIONAL = """
if ($condition) {
    $body
}
"""

DERIVE = """
r->$name = ($storage)($formula);
"""


class FieldEmitter:
    """A field's part of the record struct, of init and of the decoder and encoder."""

    def __init__(self, model, record, field):
        self.model = model
        self.record = record
        self.field = field

    def error(self, key=None):
        return self.model.error_name(self.record.err[key or self.field.name])

    def member(self):
        return ["%s %s;" % (self.field.ctype, self.field.name)]

    def initial_values(self, for_decode, counts):
        """Values before any field is read: the description's initial value; a count starts at 0."""
        field = self.field
        if field.init is not None:
            return ["r->%s = %s;" % (field.name, field.init)]
        if field.name in counts:
            return ["r->%s = 0;" % field.name]
        return []

    def decode(self):
        return []

    def encode(self):
        return []

    def read_element(self, target, bits):
        """Reading one value into r->target, through a temporary when the reader's type differs."""
        name, type_ = primitive(self.field, False)
        template = READ_DIRECT if type_ == self.field.ctype else READ_CONVERTED
        return render(template, primitive=name, type=type_, bits=bits, target=target,
                      storage=self.field.ctype)

    def conditional(self, lines):
        if self.field.when is None:
            return lines
        return render(CONDITIONAL, condition=c_expr(self.field.when), body=lines)

    def extract(self, shift, window_bits, target=None):
        """The field's value (into r->target, the field by default) taken from a window of
        window_bits bits, its last bit shift bits from the window's end: the value its reader gives
        for the same bits."""
        field = self.field
        _, type_ = primitive(field, False)
        raw = "(w >> %d)" % shift if shift else "w"
        if shift + field.bits < window_bits:  # the window holds only its own bits above the field
            raw = "(%s & 0x%Xull)" % (raw, (1 << field.bits) - 1)
        value = "nvtcg_detail::signExtend(%s, %d)" % (raw, field.bits) if field.signed else raw
        cast = "(%s)" % type_ if type_ == field.ctype else "(%s)(%s)" % (field.ctype, type_)
        if target is not None:
            return ["r->%s = %s%s;" % (target, cast, value)]
        return ["r->%s = %s%s;" % (field.name, cast, value)] + self.derived()

    def derived(self):
        return []


class WireField(FieldEmitter):
    """A value read from the message; the derived fields computed from it follow its read."""

    def initial_values(self, for_decode, counts):
        # Fields a message may omit get a defined value instead of stale bytes.
        if self.field.init is None and for_decode and self.field.when is not None:
            return ["r->%s = 0;" % self.field.name]
        return super().initial_values(for_decode, counts)

    def derived(self):
        """The derived fields computed from this one, right after it is read."""
        lines = []
        for other in self.record.fields:
            if other.layout == "derived" and other.source == self.field.name and other.formula:
                lines += render(DERIVE, name=other.name, storage=other.ctype,
                                formula=c_expr(other.formula))
        return lines

    def decode(self):
        return self.conditional(self.read_checked())

    def read_checked(self):
        """The field's read after its own room test, whatever its condition."""
        field = self.field
        read = self.read_element(field.name, field.bits)
        return render(READ_WIRE, bits=field.bits, read=read, derived=self.derived(), error=self.error())

    def written(self):
        """The names its read sets: the field and what derives from it."""
        return {self.field.name} | {other.name for other in self.record.fields
                                    if other.layout == "derived" and other.source == self.field.name}

    def encode(self):
        name, type_ = primitive(self.field, True)
        return self.conditional(render(WRITE_WIRE, primitive=name, type=type_, bits=self.field.bits,
                                       name=self.field.name, error=self.error()))


class DerivedField(FieldEmitter):
    """A value computed while decoding (by the wire field it is derived from); never on the wire."""

    def initial_values(self, for_decode, counts):
        if self.field.init is not None:
            return ["r->%s = %s;" % (self.field.name, self.field.init)]
        return ["r->%s = 0;" % self.field.name]


# ------------------------------------------------------ inline arrays and texts

INLINE_ARRAY = """
if ($condition) {
    const uint32_t count = r->$count;
    uint32_t i = 0;
    for (; i < count; ++i) {
        if (i >= $capacity) {
            err = $capacity_error;
            break;
        }
        if (pos + $bits > limit) {
            err = $error;
            break;
        }
        $transfer
        pos += $bits;
        bits += $bits;
    }
    $terminate
}
"""

WRITE_ELEMENT = """
$primitive(buffer, size, pos, $bits, ($type)r->$name[i]);
"""

TERMINATE_TEXT = """
r->$name[i < $capacity ? i : $capacity] = 0;
"""


FAST_ELEMENTS = """
if (${P}_FAST_PATH && count <= $capacity && uint64_t(pos) + uint64_t(count) * $bits <= limit) {
    $windows
    for (; i < count; ++i) {
        const uint64_t w = nvtcg_detail::load(buffer, size, pos, $bits);
        $read
        pos += $bits;
    }
    bits += count * $bits;
} else {
    $slow
}
"""

# Narrow elements come $per at a time from one window of at most 57 bits, which one 64-bit load
# holds wherever in its first byte the window starts.
ELEMENT_WINDOWS = """
for (; i + $per <= count; i += $per) {
    const uint64_t window = nvtcg_detail::load(buffer, size, pos, $window_bits);
    for (uint32_t k = 0; k < $per; ++k) {
        const uint64_t w = (window >> ($per - 1 - k) * $bits)$mask;
        $read
    }
    pos += $window_bits;
}
"""


class InlineArray(FieldEmitter):
    """A bounded array of numbers, or a text: characters ending in a NUL, stored inline."""

    def member(self):
        field = self.field
        if field.layout == "text":
            return ["%s %s[%d];  // plus the terminating zero" % (field.ctype, field.name, field.capacity + 1)]
        return ["%s %s[%d];" % (field.ctype, field.name, field.capacity)]

    def initial_values(self, for_decode, counts):
        field = self.field
        if field.layout == "text":
            return ["r->%s[0] = 0;" % field.name, "r->%s[%d] = 0;" % (field.name, field.capacity)]
        return super().initial_values(for_decode, counts)

    def loop(self, transfer, terminate):
        field = self.field
        condition = "err == 0" + (" && (%s)" % c_expr(field.when) if field.when else "")
        return render(INLINE_ARRAY, condition=condition, count=field.count, capacity=field.capacity,
                      capacity_error=self.error(field.name + "#capacity"), bits=field.bits,
                      error=self.error(), transfer=transfer, terminate=terminate)

    def decode(self):
        field = self.field
        terminate = []
        if field.layout == "text":
            terminate = render(TERMINATE_TEXT, name=field.name, capacity=field.capacity)
        lines = self.loop(self.read_element(field.name + "[i]", field.bits), terminate)
        # The element loop, and only it, gets a fast path beside it.
        first = lines.index("    for (; i < count; ++i) {")
        last = lines.index("    }", first)
        slow = [line[4:] for line in lines[first:last + 1]]
        per = min(57 // field.bits, field.capacity)  # never more than the array holds
        windows = []
        if per >= 2:
            mask = " & 0x%Xull" % ((1 << field.bits) - 1)
            windows = render(ELEMENT_WINDOWS, per=per, bits=field.bits, window_bits=per * field.bits,
                             mask=mask, read=self.extract(0, field.bits, field.name + "[i + k]"))
        fast = render(FAST_ELEMENTS, capacity=field.capacity, bits=field.bits, slow=slow, windows=windows,
                      read=self.extract(0, field.bits, field.name + "[i]"))
        return lines[:first] + ["    " + line if line else line for line in fast] + lines[last + 1:]

    def encode(self):
        name, type_ = primitive(self.field, True)
        return self.loop(render(WRITE_ELEMENT, primitive=name, bits=self.field.bits, type=type_,
                                name=self.field.name), [])


# ------------------------------------------------------------ sub-record blocks

DECODE_BLOCK = """
{
    const uint32_t count = $count;
    r->$name = static_cast<$element_struct *>(allocateBlock(count, sizeof($element_struct)));
    $loop
}
"""

DECODE_ELEMENTS = """
for (uint32_t i = 0; err == 0 && i < count; ++i) {
    const int32_t result = ${P}_decode_$element(context, buffer, size, &pos, r, 0, &r->$name[i]);
    if (result < 0)
        err = result;
    else
        bits += r->$name[i].bitLength;
}
"""

ENCODE_BLOCK = """
if (err == 0) {
    const uint32_t count = $count;
    if (count > 0 && r->$name == NULL)
        err = $internal_error;  // nothing to write the blocks from
    for (uint32_t i = 0; err == 0 && i < count; ++i) {
        const int32_t result = ${P}_encode_${element}_at(buffer, size, &pos, &r->$name[i]);
        if (result < 0)
            err = result;
        else
            bits += uint32_t(result);
    }
}
"""


class SubRecordBlock(FieldEmitter):
    """A pointer to a heap block of sub-records: `count` of them, or always `fixed`."""

    @property
    def element(self):
        return self.model.by_name[self.field.element]

    def count(self):
        return str(self.field.fixed) if self.field.fixed else "r->" + self.field.count

    def member(self):
        field = self.field
        size = "block of %d" % field.fixed if field.fixed else "block of %s" % field.count
        return ["%s *%s;  // %s" % (struct_name(self.element), field.name, size)]

    def initial_values(self, for_decode, counts):
        return ["r->%s = NULL;" % self.field.name]

    def decode(self):
        element, name = self.element, self.field.name
        loop = render(DECODE_ELEMENTS, element=element.name, name=name)
        width = fixed_bits(self.model, element)
        if is_fixed(self.model, element) and width > 0:
            loop = render(FAST_BLOCK, width=width, element=element.name, name=name, slow=loop)
        return render(DECODE_BLOCK, count=self.count(), name=name,
                      element_struct=struct_name(element), loop=loop)

    def encode(self):
        return render(ENCODE_BLOCK, count=self.count(), name=self.field.name, element=self.element.name,
                      internal_error=self.model.error_name(self.record.err_internal))


# ------------------------------------------------------------ fast paths

# The fields a record starts with that are always there are read without room tests once the
# caller has checked that all of them lie in the buffer: a window of up to 64 bits at a time, one
# big-endian load, each field shifted out of it.
READ_FIXED = """
// The fields $name starts with, $bits bits: the caller has checked that they lie in the buffer.
static inline void readFixed_$name(const unsigned char *buffer, uint16_t size, uint32_t pos, $struct *r)
{
    $windows
}

"""

WINDOW = """
{
    const uint64_t w = nvtcg_detail::load(buffer, size, pos + $offset, $bits);
    $fields
}
"""

# A record with nothing but such fields: the whole element of a block, without a call of its own.
DECODE_FIXED = """
// A whole $name of $bits bits that the caller has checked lies in the buffer.
static inline void decodeFixed_$name(const unsigned char *buffer, uint16_t size, uint32_t pos, void *parent, $struct *r)
{
    r->kind = $kind;
    r->bitLength = $bits;
    r->parent = parent;
    $values
    readFixed_$name(buffer, size, pos, r);
}

"""

FAST_PREFIX = """
if (${P}_FAST_PATH && pos + $bits <= limit) {
    readFixed_$name(buffer, size, pos, r);
    pos += $bits;
    bits += $bits;
} else {
    $slow
}
"""

FAST_BLOCK = """
if (${P}_FAST_PATH && err == 0 && uint64_t(pos) + uint64_t(count) * $width <= limit) {
    for (uint32_t i = 0; i < count; ++i)
        decodeFixed_$element(buffer, size, pos + i * $width, r, &r->$name[i]);
    pos += count * $width;
    bits += count * $width;
} else {
    $slow
}
"""


def fixed_prefix(model, record):
    """The emitters of the wire fields the record starts with that are always present (the derived
    fields among them come with their source)."""
    prefix = []
    for emitter in emitters(model, record):
        field = emitter.field
        if field.layout == "derived":
            continue
        if field.layout != "wire" or field.when is not None:
            break
        prefix.append(emitter)
    return prefix


def is_fixed(model, record):
    """Whether the record is nothing but always-present wire fields and what derives from them."""
    return all(field.layout == "derived" or (field.layout == "wire" and field.when is None)
               for field in record.fields)


def windows(prefix):
    """The prefix's fields grouped into windows of at most 64 bits, each with its offset."""
    groups, offset, group, group_bits = [], 0, [], 0
    for emitter in prefix:
        if group and group_bits + emitter.field.bits > 64:
            groups.append((offset - group_bits, group_bits, group))
            group, group_bits = [], 0
        group.append(emitter)
        group_bits += emitter.field.bits
        offset += emitter.field.bits
    if group:
        groups.append((offset - group_bits, group_bits, group))
    return groups


def window_reads(run):
    """Reading a run of wire fields that lies in the buffer from pos on, one window at a time."""
    lines = []
    for offset, bits, group in windows(run):
        fields, end = [], 0
        for emitter in group:
            end += emitter.field.bits
            fields += emitter.extract(bits - end, bits)
        lines += render(WINDOW, offset=offset, bits=bits, fields=fields)
    return lines


def read_fixed(model, record):
    """readFixed_<record>, or nothing when the record does not start with such fields."""
    prefix = fixed_prefix(model, record)
    if not prefix:
        return []
    total = sum(emitter.field.bits for emitter in prefix)
    return render(READ_FIXED, name=record.name, struct=struct_name(record), bits=total,
                  windows=window_reads(prefix))


# Wire fields after the leading ones that follow each other under the same condition (or none)
# have their room tested once: the field-by-field reads stay for a buffer that ends among them.
FAST_RUN = """
if (${P}_FAST_PATH && uint64_t(pos) + $bits <= limit) {
    $windows
    pos += $bits;
    bits += $bits;
} else {
    $slow
}
"""


def names_in(expression):
    return set(_IDENT.findall(expression or ""))


def runs(tail):
    """The emitters after the leading fields in order, wire fields grouped into runs under one
    condition that no field of the run changes; every other emitter alone."""
    groups, run, written = [], [], set()
    for emitter in tail:
        field = emitter.field
        if field.layout == "derived":
            continue  # read with the field it derives from
        if field.layout == "wire" and run and field.when == run[0].field.when \
                and not names_in(field.when) & written:
            run.append(emitter)
            written |= emitter.written()
            continue
        if run:
            groups.append(run)
        run, written = ([emitter], emitter.written()) if field.layout == "wire" else ([], set())
        if field.layout != "wire":
            groups.append([emitter])
    if run:
        groups.append(run)
    return groups


def decode_run(run):
    """A run of one field, or anything but wire fields, as before; a longer run of wire fields with
    one room test for all of them and one test of their condition."""
    if len(run) == 1:
        return run[0].decode()
    total = sum(emitter.field.bits for emitter in run)
    slow = [line for emitter in run for line in emitter.read_checked()]
    return run[0].conditional(render(FAST_RUN, bits=total, windows=window_reads(run), slow=slow))


def fixed_bits(model, record):
    return sum(emitter.field.bits for emitter in fixed_prefix(model, record))


EMITTERS = {"wire": WireField, "derived": DerivedField, "array": InlineArray, "text": InlineArray,
            "records": SubRecordBlock}


def emitters(model, record):
    return [EMITTERS[field.layout](model, record, field) for field in record.fields]
