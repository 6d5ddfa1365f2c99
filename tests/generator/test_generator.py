# Tests of the code generator: every family of validation rules refuses a broken description with
# a message that names the record and the field.

import copy
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
    # (kind 46 is the last the enable context holds)
    ("Message_Type_61", add_messages(47),
     "kind 47 does not fit the enable context: its 6 enable bytes hold kinds up to 46"),
]


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


if __name__ == "__main__":
    unittest.main()
