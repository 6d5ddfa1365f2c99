"""Loads the message description, validates it and derives what the emitters need.

Validation runs before anything is written: a description the generator cannot
handle stops the build with a message that names the record and the field.
The error codes are numbered here, from the fields of every record in kind order,
and checked against the ranges and totals that the description publishes.
"""

import importlib
import os
import re
import sys

from templates import named, use_prefix

# The filter context holds one enable bit per kind in this many bytes (mask
# 0x80 >> (kind % 8) of byte (kind + 1) / 8), followed by the last unknown type.
ENABLE_BYTES = 6
LAST_ENABLE_KIND = ENABLE_BYTES * 8 - 2

# The seven header fields every message starts with.
HEADER_FIELDS = ["Preamble", "Message_Type", "Reference_Station_Id", "Modified_Z_Count",
                 "Sequence_No_", "No_Of_Data_Words", "Station_Health"]

# Layouts of the fields that occupy bits on the wire and so have an error code of their own.
ON_THE_WIRE = ("wire", "array", "text")
INLINE_ARRAYS = ("array", "text")

_IDENT = re.compile(r"(?<![\w.])[A-Za-z_][A-Za-z0-9_]*")
# Words of C that may appear in a formula or condition besides field names.
C_WORDS = {"nvtcg_popcount32", "nvtcg_popcount64", "unsigned", "signed", "char",
           "short", "int", "long", "uint64_t", "int64_t", "double"}


def load(description_dir, module_prefix="rtcmv"):
    """Imports the description's record list and schema modules from description_dir.

    Modules of the same names loaded earlier (from another copy of a description) are dropped
    first, so that one process can load several descriptions.
    """
    for file_name in os.listdir(description_dir):
        if file_name.endswith(".py"):
            sys.modules.pop(file_name[:-3], None)
    sys.path.insert(0, description_dir)
    try:
        description = importlib.import_module(module_prefix + "_messages")
        schema = importlib.import_module(module_prefix + "_schema")
    finally:
        sys.path.pop(0)
    return description, schema


def upper_name(name):
    """Error-code spelling of a record or field name: upper case, no trailing underscore."""
    return name.rstrip("_").upper()


class Model:
    """The validated description plus everything derived from it."""

    def __init__(self, description, schema):
        self.schema = schema
        self.format_name = description.FORMAT_NAME
        self.published = dict(getattr(description, "PUBLISHED_TOTALS", {}))
        self.records = list(description.RECORDS)
        self.by_name = {record.name: record for record in self.records}
        self.errors = []
        self.problems = []
        self._validate()
        self._refuse_if_problems()
        self._number_errors()
        self._check_totals()
        self._refuse_if_problems()

    def _refuse_if_problems(self):
        if self.problems:
            raise self.schema.DescriptionError(
                "the message description is not valid:\n  " + "\n  ".join(self.problems))

    # ----------------------------------------------------------------- views
    @property
    def subs(self):
        return [record for record in self.records if not record.main]

    @property
    def mains(self):
        return [record for record in self.records if record.main]

    @property
    def mains_by_type(self):
        return sorted(self.mains, key=lambda record: record.msg_type)

    @staticmethod
    def by_kind(records):
        return sorted(records, key=lambda record: record.kind)

    @property
    def first_kind(self):
        return min(record.kind for record in self.records)

    @property
    def last_kind(self):
        return max(record.kind for record in self.records)

    @property
    def field_count(self):
        return sum(len(record.fields) for record in self.records)

    def records_field(self, record):
        """The record's sub-record array, or None."""
        for field in record.fields:
            if field.layout == "records":
                return field
        return None

    def error_name(self, code):
        for number, name in self.errors:
            if number == code:
                return name
        raise KeyError(code)

    # ------------------------------------------------------------ validation
    def problem(self, record, field, text):
        where = record.name + ("." + field.name if field is not None else "")
        self.problems.append("%s: %s" % (where, text))

    def _validate(self):
        self._validate_kinds()
        self._validate_names()
        for record in self.records:
            self._validate_record(record)

    def _validate_kinds(self):
        kinds = sorted(record.kind for record in self.records)
        if kinds != list(range(1, len(self.records) + 1)):
            self.problems.append("kind tags must run 1..n without gaps or repeats: %s" % kinds)
        seen_main = False
        for record in self.by_kind(self.records):
            if record.kind > LAST_ENABLE_KIND:
                self.problem(record, None, "kind %d does not fit the enable context: its %d enable "
                             "bytes hold kinds up to %d" % (record.kind, ENABLE_BYTES, LAST_ENABLE_KIND))
            if record.main:
                seen_main = True
            elif seen_main:
                self.problem(record, None, "sub-records must have the lowest kind tags")

    def _validate_names(self):
        names = [record.name for record in self.records]
        for name in sorted(set(names)):
            if names.count(name) > 1:
                self.problems.append("record name %s used twice" % name)
        types = [record.msg_type for record in self.mains]
        if len(set(types)) != len(types):
            self.problems.append("a message type is described twice")
        for record in self.mains:
            if not 0 <= record.msg_type <= 63:
                self.problem(record, None, "message type %r does not fit 6 bits" % record.msg_type)

    def _validate_record(self, record):
        names = [field.name for field in record.fields]
        for name in sorted(set(names)):
            if names.count(name) > 1:
                self.problem(record, None, "field %s appears twice" % name)
        known = set()  # fields that have a value by the time a field is reached
        for field in record.fields:
            for rule in FIELD_RULES:
                rule(self, record, field, known)
            known.add(field.name)
        if sum(field.layout == "records" for field in record.fields) > 1:
            self.problem(record, None, "a record holds at most one sub-record array")
        if record.main and names[:len(HEADER_FIELDS)] != HEADER_FIELDS:
            self.problem(record, None, "a message starts with the seven header fields")

    def expression_names(self, record, field, expression, known, role):
        """Every name in a formula or condition is a field with a value by then."""
        for name in _IDENT.findall(expression):
            if name in C_WORDS:
                continue
            if record.field(name) is None:
                self.problem(record, field, "%s names unknown field %r" % (role, name))
            elif name not in known:
                self.problem(record, field, "%s uses %r before it is read" % (role, name))

    def storage(self, field):
        """(bits, signed) of the field's storage type, or None when it is unknown."""
        return self.schema.CTYPES.get(field.ctype)

    # --------------------------------------------------------- error codes
    def _number_errors(self):
        """Numbers every error code from -1 down: per record in kind order, then the per-type
        "disabled" codes, then the two codes of the whole decoder."""
        self.errors = [(-1, named("${P}_ERR_INVALID_CRC"))]
        for record in self.by_kind(self.records):
            self._number_record_errors(record)
        for record in self.by_kind(self.mains):
            record.err_disabled = self._next_code(named("${P}_ERR_MESSAGE_TYPE_%d_DISABLED") % record.msg_type)
        self._next_code(named("${P}_ERR_INVALID_MESSAGE"))
        self._next_code(named("${P}_ERR_EOF"))
        names = [name for _, name in self.errors]
        if len(set(names)) != len(names):
            self.problems.append("two error codes share a name")

    def _next_code(self, name):
        code = self.errors[-1][0] - 1
        self.errors.append((code, name))
        return code

    def _number_record_errors(self, record):
        """One code per field on the wire, a second for the capacity of an inline array, then the
        size and internal codes; the range must be the one the description lists for the record."""
        prefix = named("${P}_ERR_") + upper_name(record.name)
        first = self.errors[-1][0] - 1
        record.err = {}
        last_element = None
        for field in record.fields:
            if field.layout in ON_THE_WIRE:
                record.err[field.name] = self._next_code(
                    "%s_%s_EXT_BUFFER_OVERFLOW" % (prefix, upper_name(field.name)))
            if field.layout in INLINE_ARRAYS:
                record.err[field.name + "#capacity"] = self._next_code(
                    "%s_%s_INT_BUFFER_OVERFLOW" % (prefix, upper_name(field.name)))
            if field.layout in ON_THE_WIRE or field.layout == "records":
                last_element = field
        record.err_size = self._next_code("%s_%s_SIZE_UNDERFLOW" % (prefix, upper_name(last_element.name)))
        record.err_internal = self._next_code("%s_INTERNAL" % prefix)
        if record.errors is not None and tuple(record.errors) != (first, record.err_internal):
            self.problem(record, None, "its error codes run %d..%d, the table says %d..%d"
                         % (first, record.err_internal, record.errors[0], record.errors[1]))

    def derived_totals(self):
        """The totals the description publishes, as numbered from its records."""
        codes = dict((name, code) for code, name in self.errors)
        last_record = self.by_kind(self.records)[-1]
        return {
            "records": len(self.records),
            "fields": self.field_count,
            "error codes": len(self.errors),
            "last record error": last_record.err_internal,
            "invalid message": codes[named("${P}_ERR_INVALID_MESSAGE")],
            "end of data": codes[named("${P}_ERR_EOF")],
        }

    def _check_totals(self):
        derived = self.derived_totals()
        for key, value in sorted(self.published.items()):
            if key not in derived:
                self.problems.append("PUBLISHED_TOTALS: unknown total %r" % key)
            elif derived[key] != value:
                self.problems.append("PUBLISHED_TOTALS: %s is %d by the records, the table says %d"
                                     % (key, derived[key], value))
        for key in sorted(set(derived) - set(self.published)):
            self.problems.append("PUBLISHED_TOTALS: %r is missing" % key)


# ------------------------------------------------------------- field rules
# One function per family of rules; each sees the fields that have a value before this one.

def storage_rules(model, record, field, known):
    """Flags, storage type and wire width."""
    flags = model.schema.FLAG_WORDS
    if field.flags - set(flags):
        model.problem(record, field, "unknown flags %s" % sorted(field.flags - set(flags)))
    if field.layout == "records":
        return
    storage = model.storage(field)
    if storage is None:
        model.problem(record, field, "unknown storage type %r" % field.ctype)
        return
    if field.layout in ON_THE_WIRE:
        if not field.bits or not 1 <= field.bits <= 64:
            model.problem(record, field, "width %r is not 1..64" % field.bits)
        elif field.bits > storage[0]:
            model.problem(record, field, "%d bits do not fit %s" % (field.bits, field.ctype))


def sub_record_array_rules(model, record, field, known):
    """Arrays of sub-records: their element, size and place; only they go without a role."""
    if field.layout != "records":
        if field.presentation.kind == "subMessage":
            model.problem(record, field, "only sub-record arrays have type subMessage")
        if "no role" in field.flags:
            model.problem(record, field, "only sub-record arrays go without a role")
        return
    element = model.by_name.get(field.element)
    if element is None or element.main:
        model.problem(record, field, "element %r is not a sub-record" % field.element)
    if (field.count is None) == (field.fixed is None):
        model.problem(record, field, "a sub-record array has either a count field or a fixed size")
    if field.count is not None and field.count not in known:
        model.problem(record, field, "count field %r is unknown or comes later" % field.count)
    if field.flags != {"repeated", "no role"}:
        model.problem(record, field, "a sub-record array is 'repeated, no role'")
    if record.fields[-1] is not field:
        model.problem(record, field, "a sub-record array must be the record's last field")


def inline_array_rules(model, record, field, known):
    """Inline arrays and texts have an earlier count and a capacity; single values do not repeat."""
    if field.layout in INLINE_ARRAYS:
        if field.count not in known:
            model.problem(record, field, "count field %r is unknown or comes later" % field.count)
        if not field.capacity or field.capacity < 1:
            model.problem(record, field, "capacity missing")
        if "repeated" not in field.flags:
            model.problem(record, field, "an inline array is 'repeated'")
    elif field.layout in ("wire", "derived") and "repeated" in field.flags:
        model.problem(record, field, "a single value cannot be 'repeated'")


def derived_rules(model, record, field, known):
    """A derived field is computed from an earlier source by a formula over earlier fields."""
    if field.layout != "derived":
        return
    if field.source is not None and field.source not in known:
        model.problem(record, field, "source %r is unknown or comes later" % field.source)
    if field.formula is not None:
        if field.source is None:
            model.problem(record, field, "a formula needs a source field")
        model.expression_names(record, field, field.formula, known | {field.name}, "formula")


def condition_rules(model, record, field, known):
    """A field is 'optional' exactly when it has a condition over earlier fields."""
    if field.when is not None:
        model.expression_names(record, field, field.when, known, "condition")
        if "optional" not in field.flags:
            model.problem(record, field, "a conditional field is 'optional'")
    elif "optional" in field.flags:
        model.problem(record, field, "an 'optional' field needs a condition")


def presentation_rules(model, record, field, known):
    """The presentation type agrees with the storage type and the wire width."""
    storage = model.storage(field)
    if field.layout not in ("wire", "derived", "array") or storage is None:
        return
    storage_bits, signed = storage
    kind, width = field.presentation.kind, field.presentation.width
    if kind == "u" and signed:
        model.problem(record, field, "u(w) needs an unsigned storage type")
    if kind == "i" and not signed:
        model.problem(record, field, "i(w) needs a signed storage type")
    if kind in ("u", "i"):
        limit = field.bits if field.layout != "derived" else storage_bits
        if width is None or not 1 <= width <= limit:
            model.problem(record, field, "type width %s does not match %s bits" % (width, limit))
        if field.layout != "derived" and width != field.bits:
            model.problem(record, field, "type width %s differs from the wire width %d"
                          % (width, field.bits))
    if kind == "byte" and (signed or (field.bits or 8) > 8):
        model.problem(record, field, "byte fields are unsigned and at most 8 bits")
    if kind == "f64" and field.ctype != "double":
        model.problem(record, field, "f64 fields are stored as double")
    if kind == "ch":
        model.problem(record, field, "only texts have type ch")


def symbol_rules(model, record, field, known):
    """Symbolic values and the do-not-use value fit the type; sub-fields are fields of the record."""
    for value, label in field.symbols:
        if not fits(field, value):
            model.problem(record, field, "symbolic value %r does not fit %s" % (value, field.presentation))
        if not isinstance(label, str) or not label:
            model.problem(record, field, "symbolic value %r has no text" % (value,))
    if field.do_not_use is not None and not fits(field, field.do_not_use):
        model.problem(record, field, "do-not-use value %r does not fit %s"
                      % (field.do_not_use, field.presentation))
    for name in field.subfields:
        if record.field(name) is None:
            model.problem(record, field, "sub-field %r is not a field of the record" % name)


def fits(field, value):
    """Whether value is a value of the field's presentation type."""
    kind, width = field.presentation.kind, field.presentation.width
    if not isinstance(value, int) or width is None and kind in ("u", "i"):
        return False
    if kind == "u":
        return 0 <= value < (1 << width)
    if kind == "i":
        return -(1 << (width - 1)) <= value < (1 << (width - 1))
    if kind == "byte":
        return 0 <= value <= 255
    return False


FIELD_RULES = (storage_rules, sub_record_array_rules, inline_array_rules, derived_rules,
               condition_rules, presentation_rules, symbol_rules)


def build(description_dir, prefix="RTCMV"):
    """The validated model of the description of format prefix, whose modules are named
    <prefix>_messages and <prefix>_schema in lower case; what is emitted next carries its name."""
    use_prefix(prefix)
    description, schema = load(description_dir, prefix.lower())
    return Model(description, schema)
