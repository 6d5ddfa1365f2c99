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


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--description", required=True, help="folder of the message description")
    ap.add_argument("--out", help="folder for the generated sources")
    ap.add_argument("--check", action="store_true", help="validate only")
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
