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
    key=lambda r: r.kind,
)
