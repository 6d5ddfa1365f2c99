#!/usr/bin/env python3
"""Generates the RTCMV codec, descriptor and message classes from the message description.

Usage: rtcmv_gen.py --description DIR [--check] [--out DIR]
With --check it only validates the description and prints a summary.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import model  # noqa: E402


def dump(m):
    """The description as plain data: records in registration order, fields in position order."""
    import emit_classes
    out = {"format": m.format_name, "records": []}
    for r in m.subs + m.mains_by_type:
        fields = []
        for f in r.fields:
            fields.append({
                "name": f.name, "class": emit_classes.field_class(r, f), "display": f.display,
                "type": f.ptype.kind, "width": f.ptype.width, "subMessage": f.ptype.sub,
                "unit": f.unit, "scale": f.scale, "symbols": [[v, t] for v, t in f.symbols],
                "optional": f.optional, "repeated": f.repeated, "virtual": f.virtual, "role": f.role,
                "doNotUse": f.dnu, "subFields": f.subfields, "what": f.what, "bits": f.bits,
                "ctype": f.ctype,
            })
        out["records"].append({
            "name": r.name, "kind": r.kind, "messageType": r.msg_type, "display": r.display,
            "description": r.description, "main": r.main, "class": emit_classes.message_class(r),
            "infoClass": emit_classes.info_class(r), "fields": fields,
        })
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--description", required=True, help="folder of the message description")
    ap.add_argument("--out", help="folder for the generated sources")
    ap.add_argument("--check", action="store_true", help="validate only")
    ap.add_argument("--dump-json", metavar="FILE",
                    help="write the validated description as JSON (for tests that check the catalogue)")
    ap.add_argument("--list-outputs", action="store_true",
                    help="print the names of the generated files, one per line (for the build)")
    args = ap.parse_args(argv)
    try:
        m = model.build(os.path.abspath(args.description))
    except Exception as e:  # the description is user input: report, don't trace back
        if e.__class__.__name__ != "DescriptionError":
            raise
        print("rtcmv_gen: %s" % e, file=sys.stderr)
        return 1
    nfields = sum(len(r.fields) for r in m.records)
    if args.check:
        print("description ok: %d records (%d sub-records, %d messages), %d fields, %d error codes"
              % (len(m.records), len(m.subs), len(m.mains), nfields, len(m.errors)))
        return 0
    if args.dump_json:
        import json
        with open(args.dump_json, "w", encoding="utf-8") as fh:
            json.dump(dump(m), fh, indent=1)
        return 0
    import emit_classes
    import emit_codec
    if args.list_outputs:
        print(";".join(["RTCMV_codec.h", "RTCMV_codec.cpp"] + emit_classes.outputs(m)))
        return 0
    if not args.out:
        ap.error("--out is required unless --check or --list-outputs is given")
    os.makedirs(args.out, exist_ok=True)
    emit_codec.write(m, args.out)
    emit_classes.write(m, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
