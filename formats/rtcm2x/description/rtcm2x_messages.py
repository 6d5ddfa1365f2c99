"""The RTCM2X message description: the RTCM 2.3 message types outside the RTCMV format, in
kind-tag order.  Its error codes are its own; the RTCMV format's do not move."""

import beacon
import delta

FORMAT_NAME = "RTCM2X"

RECORDS = sorted(beacon.RECORDS + delta.RECORDS, key=lambda record: record.kind)

# The totals of this format's error table and record list, checked by the generator as for RTCMV.
PUBLISHED_TOTALS = {
    "records": 11,
    "fields": 107,
    "error codes": 132,
    "last record error": -122,   # RTCM2X_ERR_<RECORD>_INTERNAL of the record with the highest kind
    "invalid message": -131,     # RTCM2X_ERR_INVALID_MESSAGE, after the "type disabled" codes
    "end of data": -132,         # RTCM2X_ERR_EOF, the last code
}
