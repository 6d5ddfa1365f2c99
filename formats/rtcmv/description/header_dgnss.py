"""Common message header, the DGNSS correction block and message types 1, 9, 31, 34."""

from rtcmv_schema import wire, derived, records, sub_record, message

STATION_HEALTH = [
    (7, "Not Working"),
    (6, "Transmission Not Monitored"),
    (5, "UDRE Scale Factor = 0.1"),
    (4, "UDRE Scale Factor = 0.2"),
    (3, "UDRE Scale Factor = 0.3"),
    (2, "UDRE Scale Factor = 0.5"),
    (1, "UDRE Scale Factor = 0.75"),
    (0, "UDRE Scale Factor = 1"),
]

REFERENCE_STATION_ID = [
    (78, "GPS 3F PPP-AR"),
    (79, "GPS PPP-AR"),
    (80, "GPS Improved Convergence"),
    (81, "GPS Regular PPP"),
    (82, "GLONASS Regular PPP"),
    (83, "GLONASS Improved Convergence"),
]


def header(station_health_subfields=()):
    """The two header words every message starts with (48 bits)."""
    return [
        #    field                   bits  stored as          display name            type
        wire("Preamble",              8, "unsigned char",  "Preamble",             "byte"),
        wire("Message_Type",          6, "unsigned char",  "Message Type",         "u(6)"),
        wire("Reference_Station_Id", 10, "unsigned short", "Reference Station Id", "u(10)",
             symbols=REFERENCE_STATION_ID),
        wire("Modified_Z_Count",     13, "unsigned short", "Modified Z-Count",     "u(13)"),
        wire("Sequence_No_",          3, "unsigned char",  "Sequence No.",         "u(3)"),
        wire("No_Of_Data_Words",      5, "unsigned char",  "No. Of Data Words",    "u(5)"),
        wire("Station_Health",        3, "unsigned char",  "Station Health",       "byte",
             symbols=STATION_HEALTH, subfields=station_health_subfields),
    ]


DGNSS = sub_record("DGNSS", kind=2, errors=(-9, -16), fields=[
    wire("Scale_Factor",   1, "unsigned char", "Scale Factor",  "byte",
         symbols=[(0, "0.02 m"), (1, "0.32 m")]),
    wire("UDRE",           2, "unsigned char", "UDRE",          "byte",
         symbols=[(0, "LT 1 m"), (1, "GT 1 m and LE 4 m"), (2, "GT 4 m and LE 8 m"), (3, "GT 8 m")]),
    wire("Satellite_Id",   5, "unsigned char", "Satellite Id",  "u(5)"),
    wire("PRC",           16, "short",         "PRC",           "i(16)", symbols=[(-32768, "error")]),
    wire("RRC",            8, "signed char",   "RRC",           "i(8)", symbols=[(-128, "error")]),
    wire("Issue_Of_Data",  8, "unsigned char", "Issue Of Data", "u(8)"),
])


def dgnss_message(msg_type, kind, description, errors, append=False):
    """Types 1, 9, 31 and 34 share one layout: header, then Ns 40-bit DGNSS blocks.

    Only type 1 exports an append operation for its corrections.
    """
    return message(msg_type, kind, description, errors, header() + [
        derived("Ns", "unsigned char", "Ns", "u(8)", flags="virtual",
                source="No_Of_Data_Words", formula="No_Of_Data_Words * 3 / 5"),
        records("Corrections", "DGNSS", "Corrections", count="Ns", flags="repeated, no role",
                append=append),
    ])


MESSAGE_TYPE_1 = dgnss_message(1, 29, "Differential GPS Corrections", (-365, -373), append=True)
MESSAGE_TYPE_9 = dgnss_message(9, 30, "GPS Partial Correction Set", (-374, -382))
MESSAGE_TYPE_31 = dgnss_message(31, 36, "Differential GLONASS Corrections", (-440, -448))
MESSAGE_TYPE_34 = dgnss_message(34, 37, "GLONASS Partial Correction Set", (-449, -457))

RECORDS = [DGNSS, MESSAGE_TYPE_1, MESSAGE_TYPE_9, MESSAGE_TYPE_31, MESSAGE_TYPE_34]
