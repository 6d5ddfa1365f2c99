"""The RTCMV message description: every record of the format, in kind-tag order.

Each family of messages lives in its own module; this one gathers them.  The
kind tag order is also the order of the error codes and of the decode dispatch.
"""

import header_dgnss
import rtk
import reference_station
import ionosphere_text_ephemeris
import orbit_corrections
import clock_bias_datum

FORMAT_NAME = "RTCMV"

RECORDS = sorted(
    header_dgnss.RECORDS
    + rtk.RECORDS
    + reference_station.RECORDS
    + ionosphere_text_ephemeris.RECORDS
    + orbit_corrections.RECORDS
    + clock_bias_datum.RECORDS,
    key=lambda record: record.kind,
)

# The totals of the published error table and record list.  The generator numbers every code
# itself and refuses a description whose numbering does not come out at these totals; adding a
# record means updating them here, together with the record's own `errors` range.
PUBLISHED_TOTALS = {
    "records": 45,
    "fields": 498,
    "error codes": 588,
    "last record error": -554,   # RTCMV_ERR_<RECORD>_INTERNAL of the record with the highest kind
    "invalid message": -587,     # RTCMV_ERR_INVALID_MESSAGE, after the "type disabled" codes
    "end of data": -588,         # RTCMV_ERR_EOF, the last code
}
