# Tests of the code generator: every family of validation rules refuses a broken description with
# a message that names the record and the field, and a record added to a copy of the description
# reaches every generated table without a hand-written file changing.

import copy
import os
import pathlib
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


def add_messages(*kinds):
    def mutate(records, totals):
        for kind in kinds:
            extra = records["Message_Type_%d" % (kind + 14)] = copy.deepcopy(records["Message_Type_3"])
            extra.name, extra.kind, extra.msg_type = "Message_Type_%d" % (kind + 14), kind, kind + 14
    return mutate


def move(record, field, position):
    def mutate(records, totals):
        fields = records[record].fields
        fields.insert(position, fields.pop(fields.index(records[record].field(field))))
    return mutate


# One broken description per family of rules, as (where, change, part of the refusal): a dict sets
# attributes of the field "Record.Field" or of the record "Record"; a callable changes the records by
# name itself.
RULES = [
    ("DGNSS.RRC", {"bits": 9}, "9 bits do not fit signed char"),  # storage
    ("Message_Type_1.Corrections", move("Message_Type_1", "Corrections", 7), "must be the record's last field"),
    ("Message_Type_16.Message", {"count": "Later"}, "count field 'Later' is unknown or comes later"),  # arrays
    ("Message_Type_1.Ns", {"formula": "Words * 3"}, "formula names unknown field 'Words'"),  # derived fields
    ("Message_Type_22.Reserved", {"when": "L2_ECEF_Delta_X == 2"},
     "condition uses 'L2_ECEF_Delta_X' before it is read"),
    ("DGNSS.Satellite_Id", {"presentation": "u(6)"}, "type width 6 differs from the wire width 5"),
    ("DGNSS.PRC", {"symbols": [(40000, "far")]}, "symbolic value 40000 does not fit i(16)"),
    ("Message_Type_9", {"errors": (-374, -383)}, "its error codes run -374..-382, the table says -374..-383"),
    ("Message_Type_3", move("Message_Type_3", "Preamble", 3), "a message starts with the seven header fields"),
    # (kind 46 is the last the enable context holds: the added record below has it)
    ("Message_Type_61", add_messages(47),
     "kind 47 does not fit the enable context: its 6 enable bytes hold kinds up to 46"),
]


# Every file under the folders with its content, to show that nothing there was written.
def tree_contents(*folders):
    paths = sorted(os.path.join(directory, name) for folder in folders for directory, _, names in os.walk(folder)
                   if "__pycache__" not in directory for name in names)
    return [(path, pathlib.Path(path).read_bytes()) for path in paths]


# A copy of the description in scratch, with text appended to its record list and new modules.
def copy_description(scratch, appended, **new_files):
    copied = os.path.join(scratch, "description")
    shutil.copytree(DESCRIPTION, copied, ignore=shutil.ignore_patterns("__pycache__"))
    for name, text in dict(new_files, rtcmv_messages=appended).items():
        with open(os.path.join(copied, name + ".py"), "a") as file:
            file.write(text)
    return copied


class ValidationRules(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.description, cls.schema = model.load(DESCRIPTION)

    # A model of the description after mutate(records by name, totals) changed a copy of it.
    def build(self, mutate):
        records = {record.name: record for record in copy.deepcopy(self.description.RECORDS)}
        totals = dict(self.description.PUBLISHED_TOTALS)
        mutate(records, totals)
        description = types.SimpleNamespace(FORMAT_NAME="RTCMV", RECORDS=list(records.values()),
                                            PUBLISHED_TOTALS=totals)
        return model.Model(description, self.schema)

    def change(self, where, changes):
        def mutate(records, totals):
            record, _, field = where.partition(".")
            target = records[record].field(field) if field else records[record]
            for name, value in changes.items():
                setattr(target, name, self.schema.PresentationType(value) if name == "presentation" else value)
        return mutate

    def test_unchanged_description_is_accepted(self):
        self.assertEqual(self.build(lambda *_: None).derived_totals(), self.description.PUBLISHED_TOTALS)

    def test_every_rule_refuses_naming_record_and_field(self):
        for where, change, text in RULES:
            with self.subTest(where=where, text=text):
                with self.assertRaises(self.schema.DescriptionError) as refusal:
                    self.build(change if callable(change) else self.change(where, change))
                self.assertRegex(str(refusal.exception), r"\n  %s: [^\n]*%s" % (re.escape(where), re.escape(text)))

    def test_command_line_reports_without_a_traceback(self):
        with tempfile.TemporaryDirectory() as scratch:
            broken = copy_description(scratch, "\nPUBLISHED_TOTALS['records'] = 44\n")
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

# What the added record must change in the generated codec header and source.
EXTRA_IN_CODEC_HEADER = [
    "RTCMV_KIND_Message_Type_60 = 46,", "constexpr uint32_t RTCMV_LAST_KIND = 46;",
    # Kind 46 is bit 0x02 of byte 5, the one bit of that byte that was free.
    "RTCMV_ENABLE_MESSAGES[6] = {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF};",
    "RTCMV_ENABLE_SUB_RECORDS[6] = {0x7E, 0xFD, 0x00, 0x00, 0x00, 0x00};",
    "56, 57, 58, 59, 60};", "RTCMV_MESSAGE_TYPE_COUNT = 33;",
    "RTCMV_ERR_MESSAGE_TYPE_60_PREAMBLE_EXT_BUFFER_OVERFLOW = -555,", "RTCMV_ERR_MESSAGE_TYPE_60_INTERNAL = -564,",
    "RTCMV_ERR_MESSAGE_TYPE_3_DISABLED = -565,", "RTCMV_ERR_MESSAGE_TYPE_60_DISABLED = -597,",
    "RTCMV_ERR_EOF = -599,", "RTCMV_ERROR_COUNT = 599;",
]
EXTRA_IN_CODEC_SOURCE = [
    "    case 60:\n            if (context != NULL && (context->enable[5] & 0x02) == 0)\n"
    "                return RTCMV_ERR_MESSAGE_TYPE_60_DISABLED;",
    "context->enable[5] = 0xFF;", "recordInfos[46]", "case 60: return &recordInfos[45];",
]


class AddedRecord(unittest.TestCase):
    def test_every_generated_table_includes_an_added_record(self):
        hand_written = [os.path.join(ROOT, folder) for folder in ("formats", "fuzz", "host")]
        before = tree_contents(*hand_written)
        with tempfile.TemporaryDirectory() as scratch:
            built = model.build(copy_description(scratch, ADD_EXTRA, extra_message=EXTRA_MODULE))
            rtcmv_gen.generate(built, os.path.join(scratch, "generated"))
            self.assertIn("RTCMV_Message_Type_60.cpp", rtcmv_gen.outputs(built))
            generated = {os.path.basename(path): text.decode() for path, text in tree_contents(scratch + "/generated")}
        self.assertTrue(before == tree_contents(*hand_written), "a hand-written file changed")
        for name, lines in (("RTCMV_codec.h", EXTRA_IN_CODEC_HEADER), ("RTCMV_codec.cpp", EXTRA_IN_CODEC_SOURCE)):
            for line in lines:
                self.assertIn(line, generated[name])
        self.assertRegex(generated["RTCMV_messages.cpp"],
                         r"case Nvt::Mesaro::RTCMV_KIND_Message_Type_60:\n"
                         r"        return RTCMV_Message_Type_60_MessageInfo::getInstance\(\);")
        self.assertIn("addMessageInfo(RTCMV_Message_Type_60_MessageInfo::getInstance());",
                      generated["RTCMV_FormatInfo.cpp"])
        self.assertIn("RTCMV_Message_Type_60.h", generated)


if __name__ == "__main__":
    unittest.main()
