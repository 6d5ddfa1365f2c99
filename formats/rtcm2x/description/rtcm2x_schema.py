"""Building blocks of the RTCM2X message description: the same field kinds and rules as the
RTCMV description's, and the header every RTCM 2 message starts with, taken from there, so that
both formats go through one generator and one set of checks."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "rtcmv", "description"))
try:
    from rtcmv_schema import *  # noqa: F401,F403 -- this module is that vocabulary under its own name
    from header_dgnss import header  # noqa: F401
finally:
    sys.path.pop(0)
