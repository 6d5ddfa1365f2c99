"""Building blocks of the RTCMV message description.

The description (rtcmv_messages.py) is written with the functions below, one
call per field, so that each line can be read against the message tables:
wire layout first (name, width, storage type), then presentation (display name,
field type, unit, scale factor, symbolic values, flags).  Everything here is
plain data; the generator validates it and turns it into C++.
"""

import re

# Storage types of record fields: C type -> (bits, signed).
CTYPES = {
    "unsigned char": (8, False),
    "signed char": (8, True),
    "char": (8, True),  # characters are read with the signed 8-bit reader
    "unsigned short": (16, False),
    "short": (16, True),
    "unsigned int": (32, False),
    "int": (32, True),
    "uint64_t": (64, False),
    "int64_t": (64, True),
    "double": (64, True),
}

FLAG_WORDS = ("repeated", "optional", "virtual", "no role")

_PRESENTATION = re.compile(r"^(?:(u|i)\((\d+)\)|(byte|ch|f64)|subMessage\((\w+)\))$")


class DescriptionError(Exception):
    """A shape the generator cannot handle; the message says where."""


class PresentationType:
    """Presentation type of a field: u(w), i(w), byte, ch, f64 or subMessage(record)."""

    def __init__(self, text):
        match = _PRESENTATION.match(text.replace(" ", ""))
        if not match:
            raise DescriptionError("unknown field type %r" % text)
        self.text = text
        self.kind = match.group(1) or match.group(3) or "subMessage"
        self.width = int(match.group(2)) if match.group(2) else None
        self.sub = match.group(4)

    def __repr__(self):
        return self.text


def parse_scale(text):
    """Scale factors are written as in the tables: "2^-5" (or a plain number)."""
    if text is None:
        return None
    if isinstance(text, (int, float)):
        return float(text)
    power = re.match(r"^\s*2\s*\^\s*(-?\d+)\s*$", text)
    if power:
        return 2.0 ** int(power.group(1))
    return float(text)


class Field:
    """One field of a record, in record (and descriptor) order.

    layout: "wire" (read from the message), "derived" (computed while decoding),
    "array" (bounded inline array of numbers), "text" (bounded inline character
    array ending in a NUL) or "records" (array of sub-records).
    """

    def __init__(self, layout, name, display, presentation, *, bits=None, ctype=None,
                 unit="", scale=None, symbols=(), flags="", do_not_use=None,
                 subfields=(), when=None, source=None, formula=None, init=None,
                 count=None, capacity=None, element=None, fixed=None, append=True, metres=None):
        self.layout = layout
        self.name = name
        self.display = display
        self.presentation = PresentationType(presentation)
        self.bits = bits
        self.ctype = ctype
        self.unit = unit
        self.scale_text = scale
        self.scale = parse_scale(scale)
        self.symbols = list(symbols)
        self.flags = {word.strip() for word in flags.split(",") if word.strip()}
        self.do_not_use = do_not_use
        self.subfields = list(subfields)
        self.when = when
        self.source = source
        self.formula = formula
        self.init = init
        self.count = count
        self.capacity = capacity
        self.element = element
        self.fixed = fixed
        self.append = append  # a variable sub-record array with an exported append operation
        # Metres per raw step of a length that the catalogue shows as a raw integer (station
        # coordinates, antenna heights): what a station position is computed from.
        self.metres = parse_scale(metres)

    # Convenience views used by the generator.
    @property
    def signed(self):
        return CTYPES[self.ctype][1] if self.ctype in CTYPES else False

    @property
    def optional(self):
        return "optional" in self.flags

    @property
    def repeated(self):
        return "repeated" in self.flags

    @property
    def virtual(self):
        return "virtual" in self.flags

    @property
    def role(self):
        return "no role" not in self.flags

    def __repr__(self):
        return "<%s %s>" % (self.layout, self.name)


def wire(name, bits, ctype, display, presentation, **kw):
    """A field on the wire: `bits` wide, stored as `ctype`."""
    return Field("wire", name, display, presentation, bits=bits, ctype=ctype, **kw)


def derived(name, ctype, display, presentation, source=None, formula=None, **kw):
    """A field computed while decoding, right after `source` has been read.

    `formula` is a C expression over the record's field names.  Without a
    source the field keeps its initial value (0 unless `init` says otherwise).
    """
    return Field("derived", name, display, presentation, ctype=ctype, source=source,
                 formula=formula, **kw)


def array(name, bits, ctype, display, presentation, count, capacity, **kw):
    """A bounded inline array of `count` elements, each `bits` wide."""
    return Field("array", name, display, presentation, bits=bits, ctype=ctype,
                 count=count, capacity=capacity, **kw)


def text(name, display, count, capacity, **kw):
    """A bounded inline character array of `count` 8-bit characters, NUL-terminated."""
    return Field("text", name, display, "ch", bits=8, ctype="char",
                 count=count, capacity=capacity, **kw)


def records(name, element, display, count=None, fixed=None, **kw):
    """An array of sub-records `element`: `count` of them, or always `fixed`.

    A variable array has an exported append operation unless `append=False`.
    """
    return Field("records", name, display, "subMessage(%s)" % element,
                 element=element, count=count, fixed=fixed, **kw)


class Record:
    """A codec record: a main message or a repeated sub-record."""

    def __init__(self, name, kind, fields, *, msg_type=None, description="",
                 errors=None):
        self.name = name
        self.kind = kind
        self.fields = list(fields)
        self.msg_type = msg_type
        self.description = description
        self.errors = errors  # (first, last) code as listed in the error table

    @property
    def main(self):
        return self.msg_type is not None

    @property
    def display(self):
        return self.name.replace("_", " ")

    def field(self, name):
        for field in self.fields:
            if field.name == name:
                return field
        return None

    def __repr__(self):
        return "<record %s>" % self.name


def sub_record(name, kind, errors, fields):
    return Record(name, kind, fields, errors=errors)


def message(msg_type, kind, description, errors, fields):
    return Record("Message_Type_%d" % msg_type, kind, fields,
                  msg_type=msg_type, description=description, errors=errors)
