"""Tests of the code generator: every family of validation rules refuses a broken description with
a message that names the record and the field, and a record added to a copy of the description
reaches every generated table without a hand-written file changing."""

import copy
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import types
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GENERATOR = os.path.join(ROOT, "formats", "rtcmv", "generator")
DESCRIPTION = os.path.join(ROOT, "formats", "rtcmv", "description")
sys.path.insert(0, GENERATOR)

import model  # noqa: E402
import rtcmv_gen  # noqa: E402


def set_field(record, field, **changes):
    """A mutation: change attributes of one field."""
    def mutate(records):
        target = records[record].field(field)
        for name, value in changes.items():
            setattr(target, name, value)
    return mutate


def set_record(record, **changes):
    def mutate(records):
        for name, value in changes.items():
            setattr(records[record], name, value)
    return mutate


def move_field(record, field, position):
    def mutate(records):
        fields = records[record].fields
        fields.insert(position, fields.pop(fields.index(records[record].field(field))))
    return mutate


def set_presentation(record, field, text):
    def mutate(records):
        records[record].field(field).presentation = SCHEMA.PresentationType(text)
    return mutate


def set_total(key, value):
    return lambda records: PUBLISHED.__setitem__(key, value)


# Each family of rules: (mutation, record, field or None, part of the message).
RULES = {
    "storage": [
        (set_field("DGNSS", "PRC", ctype="float"), "DGNSS", "PRC", "unknown storage type"),
        (set_field("DGNSS", "RRC", bits=9), "DGNSS", "RRC", "9 bits do not fit signed char"),
        (set_field("DGNSS", "UDRE", bits=0), "DGNSS", "UDRE", "width 0 is not 1..64"),
        (set_field("DGNSS", "UDRE", flags={"sometimes"}), "DGNSS", "UDRE", "unknown flags"),
    ],
    "sub-record arrays": [
        (set_field("Message_Type_1", "Corrections", element="Message_Type_9"),
         "Message_Type_1", "Corrections", "is not a sub-record"),
        (set_field("Message_Type_1", "Corrections", fixed=3), "Message_Type_1", "Corrections",
         "either a count field or a fixed size"),
        (move_field("Message_Type_1", "Corrections", 7), "Message_Type_1", "Corrections",
         "must be the record's last field"),
        (set_field("Message_Type_1", "Ns", flags={"virtual", "no role"}), "Message_Type_1", "Ns",
         "only sub-record arrays go without a role"),
    ],
    "inline arrays": [
        (set_field("Message_Type_16", "Message", count="Later"), "Message_Type_16", "Message",
         "count field 'Later' is unknown or comes later"),
        (set_field("Message_Type_16", "Message", capacity=0), "Message_Type_16", "Message",
         "capacity missing"),
        (set_field("DGNSS", "PRC", flags={"repeated"}), "DGNSS", "PRC", "cannot be 'repeated'"),
    ],
    "derived fields": [
        (set_field("Message_Type_1", "Ns", formula="Words * 3"), "Message_Type_1", "Ns",
         "formula names unknown field 'Words'"),
        (set_field("Message_Type_1", "Ns", source="Missing"), "Message_Type_1", "Ns",
         "source 'Missing' is unknown"),
    ],
    "conditions": [
        (set_field("Message_Type_22", "Reserved", when="Word_Count == 2"), "Message_Type_22", "Reserved",
         "condition names unknown field 'Word_Count'"),
        (set_field("Message_Type_22", "Reserved", when="L2_ECEF_Delta_X == 2"), "Message_Type_22",
         "Reserved", "condition uses 'L2_ECEF_Delta_X' before it is read"),
        (set_field("Message_Type_22", "Reserved", flags=set()), "Message_Type_22", "Reserved",
         "a conditional field is 'optional'"),
    ],
    "presentation types": [
        (set_presentation("DGNSS", "PRC", "u(16)"), "DGNSS", "PRC", "u(w) needs an unsigned storage type"),
        (set_presentation("DGNSS", "Satellite_Id", "u(6)"), "DGNSS", "Satellite_Id",
         "type width 6 differs from the wire width 5"),
        (set_presentation("DGNSS", "Satellite_Id", "ch"), "DGNSS", "Satellite_Id", "only texts have type ch"),
    ],
    "symbols": [
        (set_field("DGNSS", "PRC", symbols=[(40000, "far")]), "DGNSS", "PRC",
         "symbolic value 40000 does not fit i(16)"),
        (set_field("DGNSS", "UDRE", symbols=[(1, "")]), "DGNSS", "UDRE", "symbolic value 1 has no text"),
        (set_field("DGNSS", "RRC", do_not_use=128), "DGNSS", "RRC", "do-not-use value 128 does not fit"),
        (set_field("Message_Type_1", "Station_Health", subfields=["Health_Bit"]), "Message_Type_1",
         "Station_Health", "sub-field 'Health_Bit' is not a field of the record"),
    ],
    "records and error codes": [
        (set_record("Message_Type_9", errors=(-374, -383)), "Message_Type_9", None,
         "its error codes run -374..-382, the table says -374..-383"),
        (move_field("Message_Type_3", "Preamble", 3), "Message_Type_3", None,
         "a message starts with the seven header fields"),
        (set_record("DGNSS", kind=45), "DGNSS", None, "sub-records must have the lowest kind tags"),
        (set_record("Message_Type_9", msg_type=64), "Message_Type_9", None, "does not fit 6 bits"),
        (set_total("error codes", 587), "PUBLISHED_TOTALS", "error codes",
         "is 588 by the records, the table says 587"),
    ],
}

SCHEMA = None
PUBLISHED = {}


def tree_digest(*folders):
    """A digest of every file under the folders, to show that nothing there was written."""
    digest = hashlib.sha256()
    for folder in folders:
        for directory, subdirectories, files in os.walk(folder):
            subdirectories[:] = sorted(d for d in subdirectories if d != "__pycache__")
            for name in sorted(files):
                path = os.path.join(directory, name)
                digest.update(path.encode())
                with open(path, "rb") as file:
                    digest.update(file.read())
    return digest.hexdigest()


class ValidationRules(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global SCHEMA
        cls.description, SCHEMA = model.load(DESCRIPTION)

    def build(self, mutate):
        """A model of the description after mutate(records by name) changed a copy of it."""
        records = {record.name: record for record in copy.deepcopy(self.description.RECORDS)}
        PUBLISHED.clear()
        PUBLISHED.update(self.description.PUBLISHED_TOTALS)
        mutate(records)
        description = types.SimpleNamespace(FORMAT_NAME="RTCMV", RECORDS=list(records.values()),
                                            PUBLISHED_TOTALS=PUBLISHED)
        return model.Model(description, SCHEMA)

    def assert_refused(self, family):
        for mutate, record, field, text in RULES[family]:
            with self.subTest(family=family, record=record, field=field, text=text):
                with self.assertRaises(SCHEMA.DescriptionError) as refusal:
                    self.build(mutate)
                where = record + ("." + field if field and record != "PUBLISHED_TOTALS" else "")
                message = str(refusal.exception)
                self.assertRegex(message, r"\n  %s: [^\n]*%s" % (re.escape(where), re.escape(text)))
                if record == "PUBLISHED_TOTALS":
                    self.assertIn(field, message)

    def test_unchanged_description_is_accepted(self):
        built = self.build(lambda records: None)
        self.assertEqual(built.derived_totals(), self.description.PUBLISHED_TOTALS)

    def test_storage_rules(self):
        self.assert_refused("storage")

    def test_sub_record_array_rules(self):
        self.assert_refused("sub-record arrays")

    def test_inline_array_rules(self):
        self.assert_refused("inline arrays")

    def test_derived_field_rules(self):
        self.assert_refused("derived fields")

    def test_condition_rules(self):
        self.assert_refused("conditions")

    def test_presentation_type_rules(self):
        self.assert_refused("presentation types")

    def test_symbol_rules(self):
        self.assert_refused("symbols")

    def test_record_and_error_code_rules(self):
        self.assert_refused("records and error codes")

    def test_kind_beyond_the_enable_context(self):
        def add_two_messages(records):
            for kind, message_type in ((46, 60), (47, 61)):
                extra = copy.deepcopy(records["Message_Type_3"])
                extra.name, extra.kind, extra.msg_type = "Message_Type_%d" % message_type, kind, message_type
                records[extra.name] = extra
        with self.assertRaises(SCHEMA.DescriptionError) as refusal:
            self.build(add_two_messages)
        message = str(refusal.exception)
        self.assertIn("\n  Message_Type_61: kind 47 does not fit the enable context: its 6 enable bytes "
                      "hold kinds up to 46", message)
        self.assertNotIn("Message_Type_60:", message)

    def test_command_line_reports_without_a_traceback(self):
        with tempfile.TemporaryDirectory() as scratch:
            broken = os.path.join(scratch, "description")
            shutil.copytree(DESCRIPTION, broken, ignore=shutil.ignore_patterns("__pycache__"))
            with open(os.path.join(broken, "rtcmv_messages.py"), "a") as file:
                file.write("\nPUBLISHED_TOTALS['records'] = 44\n")
            run = subprocess.run([sys.executable, "-B", os.path.join(GENERATOR, "rtcmv_gen.py"),
                                  "--description", broken, "--check"], capture_output=True, text=True)
        self.assertEqual(run.returncode, 1)
        self.assertIn("PUBLISHED_TOTALS: records is 45 by the records, the table says 44", run.stderr)
        self.assertNotIn("Traceback", run.stderr)


# A message type the format does not have, in a module of its own as every family is.
EXTRA_MODULE = '''
from rtcmv_schema import wire, message
from header_dgnss import header

MESSAGE_TYPE_60 = message(60, 46, "Test Message", (-555, -564), header() + [
    wire("Test_Value", 12, "short", "Test Value", "i(12)"),
])

RECORDS = [MESSAGE_TYPE_60]
'''

ADD_EXTRA = '''
import extra_message
RECORDS = sorted(RECORDS + extra_message.RECORDS, key=lambda record: record.kind)
PUBLISHED_TOTALS.update({"records": 46, "fields": 506, "error codes": 599, "last record error": -564,
                         "invalid message": -598, "end of data": -599})
'''


class AddedRecord(unittest.TestCase):
    def test_every_generated_table_includes_an_added_record(self):
        hand_written = [os.path.join(ROOT, "formats"), os.path.join(ROOT, "fuzz"), os.path.join(ROOT, "host")]
        before = tree_digest(*hand_written)
        with tempfile.TemporaryDirectory() as scratch:
            description = os.path.join(scratch, "description")
            shutil.copytree(DESCRIPTION, description, ignore=shutil.ignore_patterns("__pycache__"))
            with open(os.path.join(description, "extra_message.py"), "w") as file:
                file.write(EXTRA_MODULE)
            with open(os.path.join(description, "rtcmv_messages.py"), "a") as file:
                file.write(ADD_EXTRA)
            built = model.build(description)
            out = os.path.join(scratch, "generated")
            rtcmv_gen.generate(built, out)
            self.assertIn("RTCMV_Message_Type_60.cpp", rtcmv_gen.outputs(built))
            generated = {}
            for name in os.listdir(out):
                with open(os.path.join(out, name)) as file:
                    generated[name] = file.read()
        self.assertEqual(before, tree_digest(*hand_written))
        self.check_codec_tables(generated["RTCMV_codec.h"], generated["RTCMV_codec.cpp"])
        self.assertRegex(generated["RTCMV_messages.cpp"],
                         r"case Nvt::Mesaro::RTCMV_KIND_Message_Type_60:\n"
                         r"        return RTCMV_Message_Type_60_MessageInfo::getInstance\(\);")
        self.assertIn("addMessageInfo(RTCMV_Message_Type_60_MessageInfo::getInstance());",
                      generated["RTCMV_FormatInfo.cpp"])
        self.assertIn("RTCMV_Message_Type_60.h", generated)

    def check_codec_tables(self, header, source):
        for line in [
            "RTCMV_KIND_Message_Type_60 = 46,",
            "constexpr uint32_t RTCMV_LAST_KIND = 46;",
            # Kind 46 is bit 0x02 of byte 5, the one bit of that byte that was free.
            "RTCMV_ENABLE_MESSAGES[6] = {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF};",
            "RTCMV_ENABLE_SUB_RECORDS[6] = {0x7E, 0xFD, 0x00, 0x00, 0x00, 0x00};",
            "56, 57, 58, 59, 60};",
            "RTCMV_MESSAGE_TYPE_COUNT = 33;",
            "RTCMV_ERR_MESSAGE_TYPE_60_PREAMBLE_EXT_BUFFER_OVERFLOW = -555,",
            "RTCMV_ERR_MESSAGE_TYPE_60_TEST_VALUE_EXT_BUFFER_OVERFLOW = -562,",
            "RTCMV_ERR_MESSAGE_TYPE_60_INTERNAL = -564,",
            "RTCMV_ERR_MESSAGE_TYPE_3_DISABLED = -565,",
            "RTCMV_ERR_MESSAGE_TYPE_60_DISABLED = -597,",
            "RTCMV_ERR_EOF = -599,",
            "RTCMV_ERROR_COUNT = 599;",
        ]:
            self.assertIn(line, header)
        self.assertIn("    case 60:\n            if (context != NULL && (context->enable[5] & 0x02) == 0)\n"
                      "                return RTCMV_ERR_MESSAGE_TYPE_60_DISABLED;", source)
        self.assertIn("context->enable[5] = 0xFF;", source)
        self.assertIn("recordInfos[46]", source)
        self.assertIn("case 60: return &recordInfos[45];", source)


class HandWrittenCode(unittest.TestCase):
    def test_decoder_and_codec_fuzzer_name_no_message_type(self):
        """They loop over the generated tables, so that a new record needs no edit there."""
        specific = re.compile(r"RTCMV_KIND_\w+|Message_Type_\d+|RTCMV_\w+_\d+_MessageInfo")
        folders = [os.path.join(ROOT, "formats", "rtcmv", "src"), os.path.join(ROOT, "fuzz", "codec")]
        for folder in folders:
            for name in sorted(os.listdir(folder)):
                if name.endswith((".cpp", ".h")):
                    with open(os.path.join(folder, name)) as file:
                        with self.subTest(file=name):
                            self.assertEqual(specific.findall(file.read()), [])


if __name__ == "__main__":
    unittest.main()
