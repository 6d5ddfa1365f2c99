"""Loads the RTCMV message description, validates it and derives what the emitters need.

Validation runs before anything is written: a description the generator cannot
handle stops the build with a message that names the record and the field.
"""

import importlib
import os
import re
import sys

# Messages are dispatched, and their error codes numbered, in kind-tag order.
FIRST_RECORD_ERROR = -2           # -1 is RTCMV_ERR_INVALID_CRC
LAST_RECORD_ERROR = -554
DISABLED_FIRST = -555
INVALID_MESSAGE = -587
EOF_ERROR = -588

_IDENT = re.compile(r"(?<![\w.])[A-Za-z_][A-Za-z0-9_]*")
_C_KEYWORDS_OK = {"nvtcg_popcount32", "nvtcg_popcount64", "unsigned", "signed", "char",
                  "short", "int", "long", "uint64_t", "int64_t", "double"}


def load(description_dir):
    """Imports the description modules and returns (module, list of records)."""
    sys.path.insert(0, description_dir)
    try:
        desc = importlib.import_module("rtcmv_messages")
        schema = importlib.import_module("rtcmv_schema")
    finally:
        sys.path.pop(0)
    return desc, schema


def upper_name(name):
    """Error-code spelling of a record or field name: upper case, no trailing underscore."""
    return name.rstrip("_").upper()


def error_record_name(rec):
    return upper_name(rec.name)


class Model:
    """The validated description plus everything derived from it."""

    def __init__(self, desc, schema):
        self.schema = schema
        self.format_name = desc.FORMAT_NAME
        self.records = list(desc.RECORDS)
        self.by_name = {r.name: r for r in self.records}
        self.errors = []
        self.problems = []
        self._validate()
        if self.problems:
            raise schema.DescriptionError(
                "the message description is not valid:\n  " + "\n  ".join(self.problems))
        self._number_errors()
        if self.problems:
            raise schema.DescriptionError(
                "the message description is not valid:\n  " + "\n  ".join(self.problems))

    # ----------------------------------------------------------------- views
    @property
    def subs(self):
        return [r for r in self.records if not r.main]

    @property
    def mains(self):
        return [r for r in self.records if r.main]

    @property
    def mains_by_type(self):
        return sorted(self.mains, key=lambda r: r.msg_type)

    def records_field(self, rec):
        for f in rec.fields:
            if f.what == "records":
                return f
        return None

    # ------------------------------------------------------------ validation
    def problem(self, rec, field, text):
        where = rec.name + ("." + field.name if field is not None else "")
        self.problems.append("%s: %s" % (where, text))

    def _expr_names(self, rec, expr, before, f, what):
        for ident in _IDENT.findall(expr):
            if ident in _C_KEYWORDS_OK:
                continue
            if rec.field(ident) is None:
                self.problem(rec, f, "%s names unknown field %r" % (what, ident))
            elif ident not in before:
                self.problem(rec, f, "%s uses %r before it is read" % (what, ident))

    def _validate(self):
        s = self.schema
        kinds = sorted(r.kind for r in self.records)
        if kinds != list(range(1, len(self.records) + 1)):
            self.problems.append("kind tags must run 1..n without gaps or repeats: %s" % kinds)
        names = [r.name for r in self.records]
        for n in set(names):
            if names.count(n) > 1:
                self.problems.append("record name %s used twice" % n)
        seen_main = False
        for rec in sorted(self.records, key=lambda r: r.kind):
            if rec.main:
                seen_main = True
            elif seen_main:
                self.problem(rec, None, "sub-records must have the lowest kind tags")
        types = [r.msg_type for r in self.mains]
        if len(set(types)) != len(types):
            self.problems.append("a message type is described twice")
        for rec in self.records:
            self._validate_record(rec, s)

    def _validate_record(self, rec, s):
        fnames = [f.name for f in rec.fields]
        for n in set(fnames):
            if fnames.count(n) > 1:
                self.problem(rec, None, "field %s appears twice" % n)
        known = set()       # fields that have a value by the time a field is reached
        n_records = 0
        for f in rec.fields:
            if f.flags - set(s.FLAG_WORDS):
                self.problem(rec, f, "unknown flags %s" % sorted(f.flags - set(s.FLAG_WORDS)))
            if f.what in ("wire", "derived", "array", "text"):
                if f.ctype not in s.CTYPES:
                    self.problem(rec, f, "unknown storage type %r" % f.ctype)
                    continue
                cbits, csigned = s.CTYPES[f.ctype]
            if f.what in ("wire", "array", "text"):
                if not f.bits or not 1 <= f.bits <= 64:
                    self.problem(rec, f, "width %r is not 1..64" % f.bits)
                elif f.bits > cbits:
                    self.problem(rec, f, "%d bits do not fit %s" % (f.bits, f.ctype))
            pk = f.ptype.kind
            if f.what == "records":
                n_records += 1
                if f.element not in self.by_name or self.by_name[f.element].main:
                    self.problem(rec, f, "element %r is not a sub-record" % f.element)
                if (f.count is None) == (f.fixed is None):
                    self.problem(rec, f, "a sub-record array has either a count field or a fixed size")
                if f.count is not None and f.count not in known:
                    self.problem(rec, f, "count field %r is unknown or comes later" % f.count)
                if f.flags != {"repeated", "no role"}:
                    self.problem(rec, f, "a sub-record array is 'repeated, no role'")
                if rec.fields[-1] is not f:
                    self.problem(rec, f, "a sub-record array must be the record's last field")
            else:
                if pk == "subMessage":
                    self.problem(rec, f, "only sub-record arrays have type subMessage")
                if "no role" in f.flags:
                    self.problem(rec, f, "only sub-record arrays go without a role")
            if f.what in ("array", "text"):
                if f.count not in known:
                    self.problem(rec, f, "count field %r is unknown or comes later" % f.count)
                if not f.capacity or f.capacity < 1:
                    self.problem(rec, f, "capacity missing")
                if "repeated" not in f.flags:
                    self.problem(rec, f, "an inline array is 'repeated'")
            elif f.what in ("wire", "derived") and "repeated" in f.flags:
                self.problem(rec, f, "a single value cannot be 'repeated'")
            if f.what == "derived":
                if f.source is not None and f.source not in known:
                    self.problem(rec, f, "source %r is unknown or comes later" % f.source)
                if f.formula is not None:
                    if f.source is None:
                        self.problem(rec, f, "a formula needs a source field")
                    self._expr_names(rec, f.formula, known | {f.name}, f, "formula")
            if f.when is not None:
                self._expr_names(rec, f.when, known, f, "condition")
                if "optional" not in f.flags:
                    self.problem(rec, f, "a conditional field is 'optional'")
            elif "optional" in f.flags:
                self.problem(rec, f, "an 'optional' field needs a condition")
            # Presentation type against storage.
            if f.what in ("wire", "derived", "array") and f.ctype in s.CTYPES:
                if pk == "u" and csigned:
                    self.problem(rec, f, "u(w) needs an unsigned storage type")
                if pk == "i" and not csigned:
                    self.problem(rec, f, "i(w) needs a signed storage type")
                if pk in ("u", "i"):
                    limit = f.bits if f.what != "derived" else cbits
                    if f.ptype.width is None or not 1 <= f.ptype.width <= limit:
                        self.problem(rec, f, "type width %s does not match %s bits"
                                     % (f.ptype.width, limit))
                    if f.what != "derived" and f.ptype.width != f.bits:
                        self.problem(rec, f, "type width %s differs from the wire width %d"
                                     % (f.ptype.width, f.bits))
                if pk == "byte" and (csigned or (f.bits or 8) > 8):
                    self.problem(rec, f, "byte fields are unsigned and at most 8 bits")
                if pk == "f64" and f.ctype != "double":
                    self.problem(rec, f, "f64 fields are stored as double")
                if pk == "ch":
                    self.problem(rec, f, "only texts have type ch")
            for value, label in f.symbols:
                if not self._fits(f, value):
                    self.problem(rec, f, "symbolic value %r does not fit %s" % (value, f.ptype))
                if not isinstance(label, str) or not label:
                    self.problem(rec, f, "symbolic value %r has no text" % (value,))
            if f.dnu is not None and not self._fits(f, f.dnu):
                self.problem(rec, f, "do-not-use value %r does not fit %s" % (f.dnu, f.ptype))
            for sf in f.subfields:
                if rec.field(sf) is None:
                    self.problem(rec, f, "sub-field %r is not a field of the record" % sf)
            known.add(f.name)
        if n_records > 1:
            self.problem(rec, None, "a record holds at most one sub-record array")
        if rec.main:
            head = [f.name for f in rec.fields[:7]]
            if head != ["Preamble", "Message_Type", "Reference_Station_Id", "Modified_Z_Count",
                        "Sequence_No_", "No_Of_Data_Words", "Station_Health"]:
                self.problem(rec, None, "a message starts with the seven header fields")

    def _fits(self, f, value):
        pk, w = f.ptype.kind, f.ptype.width
        if not isinstance(value, int):
            return False
        if pk == "u":
            return 0 <= value < (1 << w)
        if pk == "i":
            return -(1 << (w - 1)) <= value < (1 << (w - 1))
        if pk == "byte":
            return 0 <= value <= 255
        return False

    # --------------------------------------------------------- error codes
    def _number_errors(self):
        """Numbers every error code from -1 down, checking each record's range."""
        self.errors = [(-1, "RTCMV_ERR_INVALID_CRC")]
        code = -1
        for rec in sorted(self.records, key=lambda r: r.kind):
            rname = error_record_name(rec)
            first = code - 1
            rec.err = {}
            last_element = None
            for f in rec.fields:
                if f.what in ("wire", "array", "text"):
                    code -= 1
                    rec.err[f.name] = code
                    self.errors.append((code, "RTCMV_ERR_%s_%s_EXT_BUFFER_OVERFLOW"
                                        % (rname, upper_name(f.name))))
                    last_element = f
                    if f.what in ("array", "text"):
                        code -= 1
                        rec.err[f.name + "#capacity"] = code
                        self.errors.append((code, "RTCMV_ERR_%s_%s_INT_BUFFER_OVERFLOW"
                                            % (rname, upper_name(f.name))))
                elif f.what == "records":
                    last_element = f
            code -= 1
            rec.err_size = code
            self.errors.append((code, "RTCMV_ERR_%s_%s_SIZE_UNDERFLOW"
                                % (rname, upper_name(last_element.name))))
            code -= 1
            rec.err_internal = code
            self.errors.append((code, "RTCMV_ERR_%s_INTERNAL" % rname))
            if rec.errors is not None and tuple(rec.errors) != (first, code):
                self.problem(rec, None, "its error codes run %d..%d, the table says %d..%d"
                             % (first, code, rec.errors[0], rec.errors[1]))
        if code != LAST_RECORD_ERROR:
            self.problems.append("the record error codes end at %d, not %d"
                                 % (code, LAST_RECORD_ERROR))
        for rec in sorted(self.mains, key=lambda r: r.kind):
            code -= 1
            rec.err_disabled = code
            self.errors.append((code, "RTCMV_ERR_MESSAGE_TYPE_%d_DISABLED" % rec.msg_type))
        self.errors.append((INVALID_MESSAGE, "RTCMV_ERR_INVALID_MESSAGE"))
        self.errors.append((EOF_ERROR, "RTCMV_ERR_EOF"))
        codes = [c for c, _ in self.errors]
        if codes != list(range(-1, -len(codes) - 1, -1)):
            self.problems.append("error codes are not consecutive from -1 to %d" % codes[-1])
        names = [n for _, n in self.errors]
        if len(set(names)) != len(names):
            self.problems.append("two error codes share a name")


def build(description_dir):
    desc, schema = load(description_dir)
    return Model(desc, schema)
