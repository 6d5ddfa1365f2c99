#!/usr/bin/env bash
# Doubles the bundled sample (one message of each of the 32 types) until the stream holds at least
# the asked number of messages, decodes it to JSON with the leak report on, and checks that every
# message came out and that no object is left alive at exit.
# usage: decode_many.sh RTCMV SAMPLE MESSAGES WORKDIR
set -euo pipefail
rtcmv=$1 sample=$2 wanted=$3 work=$4
stream="$work/many.rtcm2"
cp "$sample" "$stream"
messages=32
while [ "$messages" -lt "$wanted" ]; do
  cat "$stream" "$stream" > "$stream.tmp" && mv "$stream.tmp" "$stream"
  messages=$((messages * 2))
done
err=$(MESARO_LEAK_REPORT=1 "$rtcmv" decode --format json --stats "$stream" 2>&1 >/dev/null)
rm -f "$stream"
echo "$err"
grep -q "messages: $messages decoded, 0 refused" <<<"$err" || { echo "expected $messages decoded messages"; exit 1; }
grep -q "mesaro leak report: 0 live objects" <<<"$err" || { echo "objects left alive at exit"; exit 1; }
