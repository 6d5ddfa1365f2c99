"""Wide-area and orbit correction messages: their blocks and types 38, 44, 48, 49, 50, 54, 55, 56.

Types 38, 44, 50 and 55 always carry 8 blocks; the others carry one block per
set bit of their satellite or slot bitmap.  The bitmap count `Ns` of types 38
and 50 is informative only.
"""

from rtcmv_schema import wire, derived, records, sub_record, message
from header_dgnss import header
# The OCDS source and constellation texts are shared with the clock and bias messages.
from clock_bias_datum import OCDS_SOURCE, CONSTELLATION_ID

# Source of the JPL GLONASS messages (48, 49).
JPL_SOURCE = [
    (0, "Unknown"),
    (1, "Los Angeles"),
    (2, "Denver"),
    (3, "Pasadena"),
]

# One-bit scale factor of the JPL orbit and clock blocks.
JPL_SCALE_FACTOR = [(0, "1 OVER 128"), (1, "1 OVER 32")]


# ------------------------------------------------------------------ blocks

WACORRECTION = sub_record("WACorrection", kind=7, errors=(-58, -67), fields=[
    #    field       bits  stored as         display name  type
    wire("IODE",       8, "unsigned char", "IODE",       "byte"),
    wire("Delta_X",   11, "short",         "Delta X",    "i(11)"),
    wire("PRN",        5, "unsigned char", "PRN",        "u(5)"),
    wire("SFO",        1, "unsigned char", "SFO",        "byte",
         symbols=[(0, "0.0078125 m"), (1, "0.03125 m")]),
    wire("Delta_Y",   11, "short",         "Delta Y",    "i(11)"),
    wire("SFC",        1, "unsigned char", "SFC",        "byte",
         symbols=[(0, "0.0078125 m"), (1, "0.0625 m")]),
    wire("Delta_Z",   11, "short",         "Delta Z",    "i(11)"),
    wire("Delta_T",   12, "short",         "Delta T",    "i(12)"),
])

JPL_46 = sub_record("JPL_46", kind=8, errors=(-68, -77), fields=[
    #    field               bits  stored as         display name        type
    wire("IODE",               8, "unsigned char", "IODE",             "byte"),
    wire("Scale_Factor",       1, "unsigned char", "Scale Factor",     "byte",
         symbols=JPL_SCALE_FACTOR),
    wire("Delta_X",           11, "short",         "Delta X",          "i(11)"),
    wire("Delta_Y",           11, "short",         "Delta Y",          "i(11)"),
    wire("Delta_Z",           11, "short",         "Delta Z",          "i(11)"),
    wire("Rate_of_Change_X",   6, "signed char",   "Rate of Change X", "i(6)"),
    wire("Rate_of_Change_Y",   6, "signed char",   "Rate of Change Y", "i(6)"),
    wire("Rate_of_Change_Z",   6, "signed char",   "Rate of Change Z", "i(6)"),
])

JPL_48 = sub_record("JPL_48", kind=9, errors=(-78, -87), fields=[
    #    field               bits  stored as         display name        type
    wire("Tb",                 7, "unsigned char", "Tb",               "byte"),
    wire("Delta_X",           13, "short",         "Delta X",          "i(13)"),
    wire("Delta_Y",           13, "short",         "Delta Y",          "i(13)"),
    wire("Delta_Z",           13, "short",         "Delta Z",          "i(13)"),
    wire("Rate_of_Change_X",   6, "signed char",   "Rate of Change X", "i(6)"),
    wire("Rate_of_Change_Y",   6, "signed char",   "Rate of Change Y", "i(6)"),
    wire("Rate_of_Change_Z",   6, "signed char",   "Rate of Change Z", "i(6)"),
    wire("Scale_Factor",       1, "unsigned char", "Scale Factor",     "byte",
         symbols=JPL_SCALE_FACTOR),
])

JPL_49 = sub_record("JPL_49", kind=10, errors=(-88, -92), fields=[
    #    field      bits  stored as         display name  type
    wire("Tb",         7, "unsigned char", "Tb",         "u(7)"),
    wire("Delta_T",   13, "short",         "Delta T",    "i(13)"),
    wire("SF",         1, "unsigned char", "SF",         "byte", symbols=JPL_SCALE_FACTOR),
])

OCDS_54 = sub_record("OCDS_54", kind=11, errors=(-93, -96), fields=[
    #    field                    bits  stored as         display name             type
    wire("Phase_Bias",              11, "short",         "Phase Bias",            "i(11)"),
    wire("Discontinuity_Counter",    4, "unsigned char", "Discontinuity Counter", "byte"),
])

OCDS_55 = sub_record("OCDS_55", kind=12, errors=(-97, -104), fields=[
    #    field               bits  stored as       display name        type
    wire("Delta_X",            3, "signed char", "Delta X",          "i(3)"),
    wire("Delta_Y",            3, "signed char", "Delta Y",          "i(3)"),
    wire("Delta_Z",            3, "signed char", "Delta Z",          "i(3)"),
    wire("Rate_of_Change_X",   3, "signed char", "Rate of Change X", "i(3)"),
    wire("Rate_of_Change_Y",   3, "signed char", "Rate of Change Y", "i(3)"),
    wire("Rate_of_Change_Z",   3, "signed char", "Rate of Change Z", "i(3)"),
])

OCDS_56 = sub_record("OCDS_56", kind=13, errors=(-105, -114), fields=[
    #    field                  bits  stored as          display name           type
    wire("Scale_Factor",           1, "unsigned char",  "Scale Factor",        "byte"),
    wire("Ephemeris_Reference",   10, "unsigned short", "Ephemeris Reference", "u(10)"),
    wire("Delta_X",               14, "short",          "Delta X",             "i(14)"),
    wire("Delta_Y",               14, "short",          "Delta Y",             "i(14)"),
    wire("Delta_Z",               14, "short",          "Delta Z",             "i(14)"),
    wire("Rate_of_Change_X",       9, "short",          "Rate of Change X",    "i(9)"),
    wire("Rate_of_Change_Y",       9, "short",          "Rate of Change Y",    "i(9)"),
    wire("Rate_of_Change_Z",       9, "short",          "Rate of Change Z",    "i(9)"),
])


# ---------------------------------------------------------------- messages

MESSAGE_TYPE_38 = message(38, 38, "OCDS GLONASS Orbit Corrections", (-458, -470), header() + [
    #       field               bits  stored as         display name        type
    wire(   "Version",            2, "unsigned char", "Version",          "byte"),
    wire(   "Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire(   "Reserved",           4, "unsigned char", "Reserved",         "byte"),
    wire(   "Satellite_Bitmap",  24, "unsigned int",  "Satellite Bitmap", "u(24)"),
    derived("Ns",                    "unsigned char", "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount32(Satellite_Bitmap)"),
    records("Corrections", "JPL_48", "Corrections", fixed=8, flags="repeated, no role"),
])

# Source is bit 2 of the station health; it is shown both as a sub-field of
# Station_Health and as a field of its own, and is never written back.
MESSAGE_TYPE_44 = message(44, 39, "JPL GPS orbit and clock Corrections", (-471, -479),
                          header(station_health_subfields=["Source"]) + [
    #       field     stored as         display name  type
    derived("Source", "unsigned char", "Source",     "u(1)",
            source="Station_Health", formula="(Station_Health >> 2) & 1"),
    records("Corrections", "WACorrection", "Corrections", fixed=8, flags="repeated, no role"),
])


def jpl_glonass_message(msg_type, kind, description, errors, element):
    """Types 48 and 49 share one layout: version, source, spare, slot bitmap, one block per slot."""
    return message(msg_type, kind, description, errors, header() + [
        #       field          bits  stored as         display name   type
        wire(   "Version",       2, "unsigned char", "Version",     "u(2)"),
        wire(   "Source",        2, "unsigned char", "Source",      "byte", symbols=JPL_SOURCE),
        wire(   "Spare",         4, "unsigned char", "Spare",       "u(4)"),
        wire(   "Slot_Bitmap",  24, "unsigned int",  "Slot Bitmap", "u(24)"),
        derived("Ns",               "unsigned char", "Ns",          "u(8)", flags="virtual",
                source="Slot_Bitmap", formula="nvtcg_popcount32(Slot_Bitmap)"),
        records("Corrections", element, "Corrections", count="Ns", flags="repeated, no role"),
    ])


MESSAGE_TYPE_48 = jpl_glonass_message(48, 40, "JPL GLONASS orbit corrections", (-480, -492), "JPL_48")
MESSAGE_TYPE_49 = jpl_glonass_message(49, 41, "JPL GLONASS clock corrections", (-493, -505), "JPL_49")

MESSAGE_TYPE_50 = message(50, 42, "OCDS GPS Orbit Corrections", (-506, -518), header() + [
    #       field               bits  stored as          display name        type
    wire(   "Version",            2, "unsigned char",  "Version",          "byte"),
    wire(   "Source",             2, "unsigned char",  "Source",           "byte", symbols=OCDS_SOURCE),
    wire(   "Reserved",          12, "unsigned short", "Reserved",         "u(12)"),
    wire(   "Satellite_Bitmap",  32, "unsigned int",   "Satellite Bitmap", "u(32)"),
    derived("Ns",                    "unsigned char",  "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount32(Satellite_Bitmap)"),
    records("Corrections", "JPL_46", "Corrections", fixed=8, flags="repeated, no role"),
])

# The 35-bit bitmaps are kept in 64 bits; Ns follows the satellite bitmap at once.
MESSAGE_TYPE_54 = message(54, 43, "OCDS Phase Biases", (-519, -532), header() + [
    #       field               bits  stored as         display name        type
    wire(   "Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire(   "Constellation_ID",   3, "unsigned char", "Constellation ID", "byte",
            symbols=CONSTELLATION_ID),
    wire(   "Signal_ID",          3, "unsigned char", "Signal ID",        "byte"),
    wire(   "Satellite_Bitmap",  35, "uint64_t",      "Satellite Bitmap", "u(35)"),
    derived("Ns",                    "unsigned char", "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount64(Satellite_Bitmap)"),
    wire(   "Integer_Bitmap",    35, "uint64_t",      "Integer Bitmap",   "u(35)"),
    records("Bias", "OCDS_54", "Bias", count="Ns", flags="repeated, no role"),
])

MESSAGE_TYPE_55 = message(55, 44, "OCDS Orbit Refinement", (-533, -541), header() + [
    records("Refinements", "OCDS_55", "Refinements", fixed=8, flags="repeated, no role"),
])

MESSAGE_TYPE_56 = message(56, 45, "OCDS Multi-Constellation Orbit Corrections", (-542, -554), header() + [
    #       field               bits  stored as         display name        type
    wire(   "Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire(   "Constellation_ID",   3, "unsigned char", "Constellation ID", "byte",
            symbols=CONSTELLATION_ID),
    wire(   "Length",             1, "unsigned char", "Length",           "byte"),
    wire(   "Satellite_Bitmap",  32, "unsigned int",  "Satellite Bitmap", "u(32)"),
    derived("Ns",                    "unsigned char", "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount32(Satellite_Bitmap)"),
    records("Corrections", "OCDS_56", "Corrections", count="Ns", flags="repeated, no role"),
])

RECORDS = [
    WACORRECTION, JPL_46, JPL_48, JPL_49, OCDS_54, OCDS_55, OCDS_56,
    MESSAGE_TYPE_38, MESSAGE_TYPE_44, MESSAGE_TYPE_48, MESSAGE_TYPE_49,
    MESSAGE_TYPE_50, MESSAGE_TYPE_54, MESSAGE_TYPE_55, MESSAGE_TYPE_56,
]
