"""RTK observables: the 48-bit blocks RTK_18 ... RTK_21 and message types 18, 19, 20, 21."""

from rtcmv_schema import wire, derived, records, sub_record, message
from header_dgnss import header

# Symbol tables that several blocks share.
MULTIPLE_MESSAGE = [(0, "No"), (1, "Yes")]
CODE = [(0, "CA-Code"), (1, "P-Code")]
CONSTELLATION = [(0, "GPS"), (1, "GLONASS")]
RESOLUTION = [(0, "Fine Resolution"), (1, "Coarse Resolution")]

# Carrier-phase quality (blocks 18 and 20).
PHASE_QUALITY = [
    (0, "LE 0.00391 cycle"),
    (1, "LE 0.00696 cycle"),
    (2, "LE 0.01239 cycle"),
    (3, "LE 0.02208 cycle"),
    (4, "LE 0.03933 cycle"),
    (5, "LE 0.07006 cycle"),
    (6, "LE 0.12480 cycle"),
    (7, "GT 0.12480 cycle"),
]

# Pseudorange quality and multipath of the 4-bit fields of block 19.
PSEUDORANGE_QUALITY = [
    (0, "LE 0.020 m"),
    (1, "LE 0.030 m"),
    (2, "LE 0.045 m"),
    (3, "LE 0.066 m"),
    (4, "LE 0.099 m"),
    (5, "LE 0.148 m"),
    (6, "LE 0.220 m"),
    (7, "LE 0.329 m"),
    (8, "LE 0.491 m"),
    (9, "LE 0.732 m"),
    (10, "LE 1.092 m"),
    (11, "LE 1.629 m"),
    (12, "LE 2.430 m"),
    (13, "LE 3.625 m"),
    (14, "LE 5.409 m"),
    (15, "GT 5.409 m"),
]

PSEUDORANGE_MULTIPATH = [
    (0, "LE 0.100 m"),
    (1, "LE 0.149 m"),
    (2, "LE 0.223 m"),
    (3, "LE 0.332 m"),
    (4, "LE 0.495 m"),
    (5, "LE 0.739 m"),
    (6, "LE 1.102 m"),
    (7, "LE 1.644 m"),
    (8, "LE 2.453 m"),
    (9, "LE 3.660 m"),
    (10, "LE 5.460 m"),
    (11, "LE 8.145 m"),
    (12, "LE 12.151 m"),
    (13, "LE 18.127 m"),
    (14, "GT 18.127 m"),
    (15, "Undefined"),
]

# Correction quality and multipath of the 3-bit fields of block 21.
CORRECTION_QUALITY = [
    (0, "LE 0.10 m"),
    (1, "LE 0.25 m"),
    (2, "LE 0.50 m"),
    (3, "LE 1.00 m"),
    (4, "LE 2.00 m"),
    (5, "LE 3.50 m"),
    (6, "LE 5.00 m"),
    (7, "GT 5.00 m"),
]

CORRECTION_MULTIPATH = [
    (0, "LE 0.10 m"),
    (1, "LE 0.25 m"),
    (2, "LE 0.50 m"),
    (3, "LE 1.00 m"),
    (4, "LE 2.50 m"),
    (5, "LE 5.00 m"),
    (6, "GT 5.00 m"),
    (7, "Undefined"),
]

SMOOTHING_INTERVAL = [(0, "0 to 1"), (1, "1 to 5"), (2, "5 to 15"), (3, "Undefined")]


def block_head():
    """Bits 0-7 of every RTK block, then the derived PRN (no source: it stays 0)."""
    return [
        #    field               bits  stored as         display name        type
        wire("Multiple_Message",  1, "unsigned char", "Multiple Message", "byte", symbols=MULTIPLE_MESSAGE),
        wire("Code",              1, "unsigned char", "Code",             "byte", symbols=CODE),
        wire("Constellation",     1, "unsigned char", "Constellation",    "byte", symbols=CONSTELLATION),
        wire("Satellite_Id",      5, "unsigned char", "Satellite Id",     "u(5)"),
        derived("PRN",               "unsigned char", "PRN",              "u(8)", flags="virtual"),
    ]


RTK_18 = sub_record("RTK_18", kind=3, errors=(-17, -25), fields=block_head() + [
    wire("Data_Quality",                   3, "unsigned char", "Data Quality",                  "byte",
         symbols=PHASE_QUALITY),
    wire("Cumulative_Loss_Of_Continuity",  5, "unsigned char", "Cumulative Loss Of Continuity", "u(5)"),
    wire("Carrier_Phase",                 32, "int",           "Carrier Phase",                 "i(32)"),
])

RTK_19 = sub_record("RTK_19", kind=4, errors=(-26, -34), fields=block_head() + [
    wire("Data_Quality",     4, "unsigned char", "Data Quality",    "byte", symbols=PSEUDORANGE_QUALITY),
    wire("Multipath_Error",  4, "unsigned char", "Multipath Error", "byte", symbols=PSEUDORANGE_MULTIPATH),
    wire("Pseudorange",     32, "unsigned int",  "Pseudorange",     "u(32)"),
])

RTK_20 = sub_record("RTK_20", kind=5, errors=(-35, -44), fields=block_head() + [
    wire("Data_Quality",                   3, "unsigned char", "Data Quality",                  "byte",
         symbols=PHASE_QUALITY),
    wire("Cumulative_Loss_Of_Continuity",  5, "unsigned char", "Cumulative Loss Of Continuity", "u(5)"),
    wire("Issue_Of_Data_Time_Of_Day",      8, "unsigned char", "Issue Of Data / Time Of Day",   "u(8)"),
    wire("Carrier_Phase_Correction",      24, "int",           "Carrier Phase Correction",      "i(24)"),
])

RTK_21 = sub_record("RTK_21", kind=6, errors=(-45, -57), fields=block_head() + [
    wire("Range_Rate_Correction_Factor",   1, "unsigned char", "Range Rate Correction Factor",  "byte",
         symbols=RESOLUTION),
    wire("Data_Quality",                   3, "unsigned char", "Data Quality",                  "byte",
         symbols=CORRECTION_QUALITY),
    wire("Pseudorange_Correction_Factor",  1, "unsigned char", "Pseudorange Correction Factor", "byte",
         symbols=RESOLUTION),
    wire("Multipath_Error",                3, "unsigned char", "Multipath Error",               "byte",
         symbols=CORRECTION_MULTIPATH),
    wire("Issue_Of_Data_Time_Of_Day",      8, "unsigned char", "Issue Of Data / Time Of Day",   "u(8)"),
    wire("Pseudorange_Correction",        16, "short",         "Pseudorange Correction",        "i(16)"),
    wire("Range_Rate_Correction",          8, "signed char",   "Range Rate Correction",         "i(8)"),
    # Pseudorange scale in metres; stays 0.0 while the factor bit has not been read.
    derived("PSF",                            "double",        "PSF",                           "f64",
            flags="virtual", source="Pseudorange_Correction_Factor",
            formula="Pseudorange_Correction_Factor ? 0.32 : 0.02"),
])


def rtk_message(msg_type, kind, description, errors, element):
    """Types 18 to 21 share one layout: header, a time word, then Ns 48-bit blocks."""
    return message(msg_type, kind, description, errors, header() + [
        #    field                       bits  stored as         display name                type
        wire("Frequency",                  2, "unsigned char", "Frequency",                "byte"),
        wire("Smoothing_Interval",         2, "unsigned char", "Smoothing Interval",       "byte",
             symbols=SMOOTHING_INTERVAL),
        wire("GNSS_Time_Of_Measurement",  20, "unsigned int",  "GNSS Time Of Measurement", "u(20)",
             unit="microsecond"),
        # Two data words per block after the time word; a trailing half block counts as one.
        derived("Ns",                         "unsigned char", "Ns",                       "u(8)",
                flags="virtual", source="No_Of_Data_Words", formula="No_Of_Data_Words * 3 / 6"),
        records("Data", element, "Data", count="Ns", flags="repeated, no role"),
    ])


MESSAGE_TYPE_18 = rtk_message(18, 32, "RTK Uncorrected Carrier Phases", (-392, -403), "RTK_18")
MESSAGE_TYPE_19 = rtk_message(19, 33, "RTK Uncorrected Pseudoranges", (-404, -415), "RTK_19")
MESSAGE_TYPE_20 = rtk_message(20, 34, "RTK Carrier Phase Corrections", (-416, -427), "RTK_20")
MESSAGE_TYPE_21 = rtk_message(21, 35, "RTK/Hi-Accuracy Pseudorange Corrections", (-428, -439), "RTK_21")

RECORDS = [RTK_18, RTK_19, RTK_20, RTK_21,
           MESSAGE_TYPE_18, MESSAGE_TYPE_19, MESSAGE_TYPE_20, MESSAGE_TYPE_21]
