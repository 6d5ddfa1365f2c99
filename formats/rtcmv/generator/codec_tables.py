"""The codec's tables over all records: error names, enable bits, the decode dispatch, and the
layout tables that let generic code (the rtcmv tool's JSON writer, tests) walk any record without
per-type code, like the descriptor table of a protocol-buffer runtime.
"""

from codec_fields import c_expr, kind_const, struct_name
from model import ENABLE_BYTES
from templates import named, render

ENABLE_TABLES = """
// The kinds the enable operations accept, and the enable bits of every message kind and of every
// sub-record kind, byte by byte as the context lays them out.
constexpr uint32_t ${P}_FIRST_KIND = $first_kind;
constexpr uint32_t ${P}_LAST_KIND = $last_kind;
constexpr unsigned char ${P}_ENABLE_MESSAGES[$enable_bytes] = {$message_bits};
constexpr unsigned char ${P}_ENABLE_SUB_RECORDS[$enable_bytes] = {$sub_record_bits};
constexpr uint32_t ${P}_enable_byte(uint32_t kind)
{
    return (kind + 1) / 8;
}
constexpr unsigned char ${P}_enable_mask(uint32_t kind)
{
    return static_cast<unsigned char>(0x80u >> (kind % 8));
}
static_assert(${P}_enable_byte(${P}_LAST_KIND) < sizeof(${P}_context_s::enable), "every kind has an enable bit");

// The message types the codec knows, ascending.
constexpr unsigned char ${P}_MESSAGE_TYPES[] = {$message_types};
constexpr uint32_t ${P}_MESSAGE_TYPE_COUNT = $message_type_count;

"""

ERROR_NAMES = """
static const char *const errorNames[$size] = {
    "${P}_ERR_NONE",
    $names
};

const char *${P}_error_name(int32_t code)
{
    if (code >= 0)
        return errorNames[0];
    if (code >= -$count)
        return errorNames[-code];
    return "???";
}

"""

INIT_CONTEXT = """
void ${P}_init_context(${P}_context_s *context)
{
    std::memset(context, 0, sizeof(*context));
    $enable
}

"""

DISPATCH = """
// Every message record starts with the same header members, so the type read by the
// dispatch can be stored through any of them.
static_assert(offsetof($first, Message_Type) == offsetof($last, Message_Type), "common header");
int32_t ${P}_decode(${P}_context_s *context, const unsigned char *buffer, uint16_t size, void *record)
{
    unsigned char *messageType = &static_cast<$first *>(record)->Message_Type;
    if (uint32_t(size) * 8u > 14u) {
        nvtcg_get_uint8(buffer, size, 8, 6, messageType);
        uint32_t offset = 0;
        int32_t result = 0;
        switch (*messageType) {
        $cases
        default:
            break;
        }
        if (result < 0)
            return result;
        if (offset > 0)
            return int32_t(offset);
    }
    if (context != NULL)
        context->lastType = *messageType;
    return ${P}_ERR_INVALID_MESSAGE;
}

"""

DISPATCH_CASE = """
case $type:
    if (context != NULL && (context->enable[$byte] & 0x$mask) == 0)
        return $disabled;
    result = ${P}_decode_$name(context, buffer, size, &offset, NULL, 0, static_cast<$struct *>(record));
    break;
"""


def enable_position(kind):
    """(byte, mask) of the kind's enable bit in the context."""
    return (kind + 1) // 8, 0x80 >> (kind % 8)


def enable_bits(records):
    """The context's enable bytes with the bits of the given records set."""
    bits = [0] * ENABLE_BYTES
    for record in records:
        byte, mask = enable_position(record.kind)
        bits[byte] |= mask
    return bits


def enable_tables(model):
    def hex_list(values):
        return ", ".join("0x%02X" % value for value in values)
    types = [record.msg_type for record in model.mains_by_type]
    return render(ENABLE_TABLES, first_kind=model.first_kind, last_kind=model.last_kind,
                  enable_bytes=ENABLE_BYTES, message_bits=hex_list(enable_bits(model.mains)),
                  sub_record_bits=hex_list(enable_bits(model.subs)),
                  message_types=", ".join(str(message_type) for message_type in types), message_type_count=len(types))


def error_names(model):
    return render(ERROR_NAMES, size=len(model.errors) + 1, count=len(model.errors),
                  names=['"%s",' % name for _, name in model.errors])


def context_and_dispatch(model):
    enable = ["context->enable[%d] = 0x%02X;" % (byte, bits)
              for byte, bits in enumerate(enable_bits(model.mains)) if bits]
    cases = []
    for record in model.by_kind(model.mains):
        byte, mask = enable_position(record.kind)
        cases += render(DISPATCH_CASE, type=record.msg_type, byte=byte, mask="%02X" % mask,
                        disabled=model.error_name(record.err_disabled), name=record.name,
                        struct=struct_name(record))
    return render(INIT_CONTEXT, enable=enable) + render(
        DISPATCH, first=struct_name(model.mains[0]), last=struct_name(model.mains[-1]), cases=cases)


# ------------------------------------------------------------------ layout tables

LAYOUT_DECLARATIONS = """
// ---- Record layout tables, for code that handles every record alike ----

enum ${P}_field_what_e : uint8_t {
    ${P}_FIELD_WIRE,     // read from the message
    ${P}_FIELD_DERIVED,  // computed while decoding, never on the wire
    ${P}_FIELD_ARRAY,    // bounded inline array of numbers
    ${P}_FIELD_TEXT,     // bounded inline characters, NUL-terminated
    ${P}_FIELD_RECORDS,  // pointer to a block of sub-records
};

enum ${P}_ctype_e : uint8_t {
    ${P}_CTYPE_U8, ${P}_CTYPE_I8, ${P}_CTYPE_CHAR, ${P}_CTYPE_U16, ${P}_CTYPE_I16,
    ${P}_CTYPE_U32, ${P}_CTYPE_I32, ${P}_CTYPE_U64, ${P}_CTYPE_I64, ${P}_CTYPE_F64,
    ${P}_CTYPE_POINTER,
};

struct ${P}_field_info_s {
    const char *name;      // codec field name
    uint8_t what;          // ${P}_field_what_e
    uint8_t ctype;         // ${P}_ctype_e of the value (of one element for arrays)
    uint8_t bits;          // wire width (of one element for arrays); 0 when not on the wire
    uint8_t conditional;   // on the wire only under a condition on earlier fields
    uint32_t offset;       // offset in the record
    uint16_t capacity;     // inline arrays: element capacity (texts: without the NUL)
    int16_t countField;    // arrays: index of the count field, -1 for a fixed block
    uint32_t fixedCount;   // sub-record blocks of a fixed size: their size
    uint32_t elementKind;  // sub-record blocks: kind of their elements
    double metres;         // metres per raw step of a station coordinate or height, else 0
};

struct ${P}_record_info_s {
    const char *name;      // record name, e.g. "Message_Type_1" or "DGNSS"
    uint32_t kind;
    uint32_t messageType;  // 0 for sub-records
    uint32_t size;         // sizeof the record
    uint32_t fieldCount;
    const ${P}_field_info_s *fields;
};

// The layout of kind 1 to $record_count, or null.
${P}_CODEC_EXPORT const ${P}_record_info_s *${P}_record_info(uint32_t kind);
// The layout of a message type, or null when the codec does not know it.
${P}_CODEC_EXPORT const ${P}_record_info_s *${P}_message_info(uint32_t messageType);
// Whether field `index` of the record (by its kind) is on the wire under its condition.
${P}_CODEC_EXPORT bool ${P}_field_present(const void *record, uint32_t index);
// Recomputes the derived fields (counts, PSF, ...) from the record's wire fields.
${P}_CODEC_EXPORT void ${P}_update_derived(void *record);
// ${P}_init_<Name>, ${P}_free_<Name> and the message encoder, chosen by kind.
${P}_CODEC_EXPORT int ${P}_init_record(void *record, uint32_t kind);
${P}_CODEC_EXPORT void ${P}_free_record(void *record);
${P}_CODEC_EXPORT int32_t ${P}_encode_record(unsigned char *buffer, uint16_t size, void *record);
// Appends one element to the record's variable sub-record block; null when it has none
// or the block cannot grow.
${P}_CODEC_EXPORT void *${P}_append_record(void *record);

"""

FIELD_TABLE = """
static const ${P}_field_info_s fields_$name[] = {
    $rows
};

"""

FIELD_ROW = '{"$field", ${P}_FIELD_$layout, $ctype, $bits, $conditional, offsetof($struct, $field), ' \
            '$capacity, $count_field, $fixed, $element_kind, $metres},'

RECORD_INFOS = """
static const ${P}_record_info_s recordInfos[$record_count] = {
    $rows
};

const ${P}_record_info_s *${P}_record_info(uint32_t kind)
{
    return kind >= 1 && kind <= $record_count ? &recordInfos[kind - 1] : NULL;
}

const ${P}_record_info_s *${P}_message_info(uint32_t messageType)
{
    switch (messageType) {
    $cases
    default: return NULL;
    }
}

"""

_CTYPE_NAMES = {"unsigned char": "U8", "signed char": "I8", "char": "CHAR", "unsigned short": "U16",
                "short": "I16", "unsigned int": "U32", "int": "I32", "uint64_t": "U64",
                "int64_t": "I64", "double": "F64"}


def layout_declarations(model):
    return render(LAYOUT_DECLARATIONS, record_count=len(model.records))


def field_table(model, record):
    names = [field.name for field in record.fields]
    rows = []
    for field in record.fields:
        pointer = field.layout == "records"
        rows += render(FIELD_ROW, field=field.name, layout=field.layout.upper(),
                       ctype=named("${P}_CTYPE_") + ("POINTER" if pointer else _CTYPE_NAMES[field.ctype]),
                       bits=field.bits or 0, conditional=1 if field.when else 0,
                       struct=struct_name(record), capacity=field.capacity or 0,
                       count_field=names.index(field.count) if field.count else -1,
                       fixed=field.fixed or 0,
                       element_kind=kind_const(model.by_name[field.element]) if field.element else "0",
                       metres=repr(field.metres) if field.metres else "0")
    return render(FIELD_TABLE, name=record.name, rows=rows)


def record_infos(model):
    rows = ['{"%s", %s, %d, sizeof(%s), %d, fields_%s},' % (record.name, kind_const(record),
            record.msg_type or 0, struct_name(record), len(record.fields), record.name)
            for record in model.records]
    cases = ["case %d: return &recordInfos[%d];" % (record.msg_type, record.kind - 1)
             for record in model.mains_by_type]
    return render(RECORD_INFOS, record_count=len(model.records), rows=rows, cases=cases)


def layout_tables(model):
    lines = []
    for record in model.records:
        lines += field_table(model, record)
    lines += record_infos(model)
    lines += field_present(model) + update_derived(model)
    lines += dispatch_by_kind(model)
    return lines


# ----------------------------------------------- functions that switch on the kind

FIELD_PRESENT = """
bool ${P}_field_present(const void *record, uint32_t index)
{
    switch (*static_cast<const uint32_t *>(record)) {
    $cases
    default: {
        const ${P}_record_info_s *info = ${P}_record_info(*static_cast<const uint32_t *>(record));
        return info != NULL && index < info->fieldCount;
    }
    }
}

"""

FIELD_PRESENT_CASE = """
case $kind: {
    const $struct *r = static_cast<const $struct *>(record);
    switch (index) {
    $conditions
    default: return index < $field_count;
    }
}
"""

UPDATE_DERIVED = """
void ${P}_update_derived(void *record)
{
    switch (*static_cast<uint32_t *>(record)) {
    $cases
    default:
        break;
    }
}

"""

UPDATE_DERIVED_CASE = """
case $kind: {
    $struct *r = static_cast<$struct *>(record);
    $derive
    $elements
    break;
}
"""

RECOMPUTE = """
r->$name = 0;
r->$name = ($storage)($formula);
"""

UPDATE_ELEMENTS = """
for (uint32_t i = 0; r->$field != NULL && i < $count; ++i)
    ${P}_update_derived(&r->$field[i]);
"""

BY_KIND = """
int ${P}_init_record(void *record, uint32_t kind)
{
    switch (kind) {
    $init
    default: return -1;
    }
}

void ${P}_free_record(void *record)
{
    switch (*static_cast<uint32_t *>(record)) {
    $free
    default: break;
    }
}

int32_t ${P}_encode_record(unsigned char *buffer, uint16_t size, void *record)
{
    uint32_t offset = 0;
    switch (*static_cast<uint32_t *>(record)) {
    $encode
    default: return ${P}_ERR_INVALID_MESSAGE;
    }
}

void *${P}_append_record(void *record)
{
    switch (*static_cast<uint32_t *>(record)) {
    $append
    default: return NULL;
    }
}

"""


def field_present(model):
    cases = []
    for record in model.records:
        conditions = ["case %d: return %s;" % (index, c_expr(field.when))
                      for index, field in enumerate(record.fields) if field.when]
        if conditions:
            cases += render(FIELD_PRESENT_CASE, kind=kind_const(record), struct=struct_name(record),
                            conditions=conditions, field_count=len(record.fields))
    return render(FIELD_PRESENT, cases=cases)


def computed(record):
    return [field for field in record.fields if field.layout == "derived" and field.formula]


def update_derived(model):
    cases = []
    for record in model.records:
        block = model.records_field(record)
        elements = []
        if block is not None and computed(model.by_name[block.element]):
            count = str(block.fixed) if block.fixed else "r->" + block.count
            elements = render(UPDATE_ELEMENTS, field=block.name, count=count)
        derive = [line for field in computed(record)
                  for line in render(RECOMPUTE, name=field.name, storage=field.ctype,
                                     formula=c_expr(field.formula))]
        if derive or elements:
            cases += render(UPDATE_DERIVED_CASE, kind=kind_const(record), struct=struct_name(record),
                            derive=derive, elements=elements)
    return render(UPDATE_DERIVED, cases=cases)


def dispatch_by_kind(model):
    def case(record, call):
        return "case %s: %s" % (kind_const(record), call % (record.name, struct_name(record)))
    with_block = [record for record in model.records if model.records_field(record) is not None]
    growing = [record for record in with_block if model.records_field(record).count]
    return render(
        BY_KIND,
        init=[case(record, named("return ${P}_init_%s(static_cast<%s *>(record));")) for record in model.records],
        free=[case(record, named("${P}_free_%s(static_cast<%s *>(record)); break;")) for record in with_block],
        encode=[case(record, named("return ${P}_encode_%s_at(buffer, size, &offset, static_cast<%s *>(record));"))
                for record in model.records],
        append=[case(record, "return append%s(static_cast<%s *>(record));") for record in growing])
