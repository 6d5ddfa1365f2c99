#!/usr/bin/env python3
"""Generates a format's codec, descriptor and message classes from its message description.

Usage: rtcmv_gen.py [--prefix NAME] --description DIR (--out DIR | --check | --dump-json FILE | --list-outputs)
NAME (RTCMV unless given) starts every generated identifier, file name and error code; the
description folder holds <name>_messages.py and <name>_schema.py (name in lower case).
With --check it only validates the description and prints a summary.
"""

import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import class_fields  # noqa: E402
import emit_classes  # noqa: E402
import emit_codec  # noqa: E402
import model  # noqa: E402
from templates import named  # noqa: E402


def field_data(record, field):
    """A field as plain data; the keys are the ones the catalogue tests read."""
    presentation = field.presentation
    return {
        "name": field.name, "class": class_fields.field_class(record, field), "display": field.display,
        "type": presentation.kind, "width": presentation.width, "subMessage": presentation.sub,
        "unit": field.unit, "scale": field.scale, "symbols": [[value, label] for value, label in field.symbols],
        "optional": field.optional, "repeated": field.repeated, "virtual": field.virtual,
        "role": field.role, "doNotUse": field.do_not_use, "subFields": field.subfields,
        "what": field.layout, "bits": field.bits, "ctype": field.ctype,
    }


def dump(model):
    """The description as plain data: records in registration order, fields in position order."""
    records = []
    for record in model.subs + model.mains_by_type:
        records.append({
            "name": record.name, "kind": record.kind, "messageType": record.msg_type,
            "display": record.display, "description": record.description, "main": record.main,
            "class": class_fields.message_class(record), "infoClass": class_fields.info_class(record),
            "fields": [field_data(record, field) for field in record.fields],
        })
    return {"format": model.format_name, "records": records}


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", default="RTCMV", help="the format's name, e.g. RTCMV or RTCM2X")
    parser.add_argument("--description", required=True, help="folder of the message description")
    parser.add_argument("--out", help="folder for the generated sources")
    parser.add_argument("--check", action="store_true", help="validate only")
    parser.add_argument("--dump-json", metavar="FILE",
                        help="write the validated description as JSON (for tests that check the catalogue)")
    parser.add_argument("--list-outputs", action="store_true",
                        help="print the names of the generated files, one per line (for the build)")
    args = parser.parse_args(argv)
    if not (args.check or args.dump_json or args.list_outputs or args.out):
        parser.error("--out is required unless --check, --dump-json or --list-outputs is given")
    return args


def outputs(description):
    return [named("${P}_codec.h"), named("${P}_codec.cpp")] + emit_classes.outputs(description)


def generate(description, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    emit_codec.write(description, out_dir)
    emit_classes.write(description, out_dir)


def main(argv):
    args = parse_arguments(argv)
    try:
        description = model.build(os.path.abspath(args.description), args.prefix)
    except Exception as error:  # the description is user input: report, don't trace back
        if error.__class__.__name__ != "DescriptionError":
            raise
        print("rtcmv_gen: %s" % error, file=sys.stderr)
        return 1
    if args.check:
        print("description ok: %d records (%d sub-records, %d messages), %d fields, %d error codes"
              % (len(description.records), len(description.subs), len(description.mains),
                 description.field_count, len(description.errors)))
    elif args.dump_json:
        with open(args.dump_json, "w", encoding="utf-8") as file:
            json.dump(dump(description), file, indent=1)
    elif args.list_outputs:
        print(";".join(outputs(description)))
    else:
        generate(description, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
