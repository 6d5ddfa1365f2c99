"""Clock, bias, datum, antenna-pattern and proprietary messages: types 39, 41, 51, 52, 53, 57, 58, 59.

Each ends in one bounded inline array whose length is a derived count (set bits
of a satellite bitmap, a formula over the data-word count) or, for type 41, the
wire field `Name_Length` itself.
"""

from rtcmv_schema import wire, derived, array, text, message
from header_dgnss import header

OCDS_SOURCE = [
    (0, "Primary OCDS Aberdeen"),
    (1, "Secondary OCDS Aberdeen"),
    (2, "Primary OCDS Singapore"),
    (3, "Secondary OCDS Singapore"),
]

CONSTELLATION_ID = [
    (0, "GPS"),
    (1, "GLONASS"),
    (2, "BEIDOU"),
    (3, "GALILEO"),
    (4, "QZSS"),
]

MESSAGE_TYPE_39 = message(39, 21, "OCDS GLONASS Precise Clocks", (-249, -263), header() + [
    #    field                bits  stored as         display name         type
    wire("Version",            2, "unsigned char", "Version",          "byte"),
    wire("Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire("Reserved",          20, "unsigned int",  "Reserved",         "u(20)"),
    wire("Satellite_Bitmap",  24, "unsigned int",  "Satellite Bitmap", "u(24)"),
    derived("Ns",                 "unsigned char", "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount32(Satellite_Bitmap)"),
    array("Clock",            18, "unsigned int",  "Clock",            "u(18)", flags="repeated",
          count="Ns", capacity=24),
])

MESSAGE_TYPE_41 = message(41, 22, "OCDS Datum", (-264, -278), header() + [
    #    field                bits  stored as         display name         type
    wire("Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire("EPSG_Code",          2, "unsigned char", "EPSG Code",        "byte"),
    wire("Reserved",           3, "unsigned char", "Reserved",         "byte"),
    wire("Name_Length",        5, "unsigned char", "Name Length",      "byte"),
    # The length field is the count itself; 5 bits never exceed the 31 characters held.
    text("Datum_Name",                             "Datum Name",               flags="repeated",
         count="Name_Length", capacity=31),
])

MESSAGE_TYPE_51 = message(51, 23, "OCDS GPS Precise Clocks", (-279, -293), header() + [
    #    field                bits  stored as         display name         type
    wire("Version",            2, "unsigned char", "Version",          "byte"),
    wire("Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire("Reserved",           4, "unsigned char", "Reserved",         "byte"),
    wire("Satellite_Bitmap",  32, "unsigned int",  "Satellite Bitmap", "u(32)"),
    derived("Ns",                 "unsigned char", "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount32(Satellite_Bitmap)"),
    array("Clock",            16, "unsigned short", "Clock",           "u(16)", flags="repeated",
          count="Ns", capacity=32),
])

# 9-bit partials fill every data word after the first (whose 15 bits of fields
# leave room for one).  The subtraction wraps in 16 bits ("& 65535"), so 0 data
# words give 7280, a count that the capacity check then stops.
MESSAGE_TYPE_52 = message(52, 24, "OCDS Clock Partials", (-294, -307), header() + [
    #    field                       bits  stored as          display name                type
    derived("Ns",                        "unsigned short", "Ns",                      "u(16)", flags="virtual",
            source="No_Of_Data_Words",
            formula="((No_Of_Data_Words * 24 - 24) & 65535) / 9 + 1"),
    wire("Constellation_ID",          3, "unsigned char",  "Constellation ID",        "byte",
         symbols=CONSTELLATION_ID),
    wire("Base_Message_Type",         6, "unsigned char",  "Base Message Type",       "byte"),
    wire("Time_Since_Base_Message",   6, "unsigned char",  "Time Since Base Message", "u(6)"),
    array("Clock_Partial",            9, "short",          "Clock Partial",           "i(9)", flags="repeated",
          count="Ns", capacity=35),
])

MESSAGE_TYPE_53 = message(53, 25, "OCDS Code Biases", (-308, -322), header() + [
    #    field                bits  stored as         display name         type
    wire("Source",             2, "unsigned char", "Source",           "byte", symbols=OCDS_SOURCE),
    wire("Constellation_ID",   3, "unsigned char", "Constellation ID", "byte", symbols=CONSTELLATION_ID),
    wire("Signal_ID",          3, "unsigned char", "Signal ID",        "byte"),
    wire("Satellite_Bitmap",  35, "uint64_t",      "Satellite Bitmap", "u(35)"),
    derived("Ns",                 "unsigned char", "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount64(Satellite_Bitmap)"),
    array("Bias",             12, "short",         "Bias",             "i(12)", flags="repeated",
          count="Ns", capacity=35),
])

# `Length` is carried along but does not change the clock width: always 16 bits.
MESSAGE_TYPE_57 = message(57, 26, "OCDS Multi-Constellation Precise Clock", (-323, -337), header() + [
    #    field                bits  stored as          display name         type
    wire("Source",             2, "unsigned char",  "Source",           "byte", symbols=OCDS_SOURCE),
    wire("Constellation_ID",   3, "unsigned char",  "Constellation ID", "byte", symbols=CONSTELLATION_ID),
    wire("Length",             1, "unsigned char",  "Length",           "byte"),
    wire("Satellite_Bitmap",  32, "unsigned int",   "Satellite Bitmap", "u(32)"),
    derived("Ns",                 "unsigned char",  "Ns",               "u(8)", flags="virtual",
            source="Satellite_Bitmap", formula="nvtcg_popcount32(Satellite_Bitmap)"),
    array("Clock",            16, "unsigned short", "Clock",            "u(16)", flags="repeated",
          count="Ns", capacity=32),
])

# A step of 0 would divide by zero: the count then goes from its initial 0 to 1.
MESSAGE_TYPE_58 = message(58, 27, "PCV Corrections", (-338, -353), header() + [
    #    field                bits  stored as         display name        type
    wire("Constellation_ID",   3, "unsigned char", "Constellation ID", "byte", symbols=CONSTELLATION_ID),
    wire("Frequency_ID",       3, "unsigned char", "Frequency ID",     "byte"),
    wire("SVID",               7, "unsigned char", "SVID",             "byte"),
    wire("End_Zenit_Value",    7, "unsigned char", "End Zenit Value",  "u(7)"),
    wire("Zenit_Step_Size",    4, "unsigned char", "Zenit Step Size",  "u(4)"),
    derived("N",                  "unsigned char", "N",                "u(8)", flags="virtual",
            source="Zenit_Step_Size",
            formula="Zenit_Step_Size != 0 ? End_Zenit_Value / Zenit_Step_Size + 1 : N + 1"),
    array("PCV",               8, "signed char",   "PCV",              "i(8)", flags="repeated",
          count="N", capacity=18),
])

# Opaque payload: every data word after the header carries three bytes.
MESSAGE_TYPE_59 = message(59, 28, "Proprietary Message", (-354, -364), header() + [
    #    field                bits  stored as         display name     type
    derived("Data_Length",        "unsigned char", "Data Length",  "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words * 3"),
    array("Data",              8, "unsigned char", "Data",         "byte", flags="repeated",
          symbols=[(65, "FKP")], count="Data_Length", capacity=93),
])

RECORDS = [MESSAGE_TYPE_39, MESSAGE_TYPE_41, MESSAGE_TYPE_51, MESSAGE_TYPE_52,
           MESSAGE_TYPE_53, MESSAGE_TYPE_57, MESSAGE_TYPE_58, MESSAGE_TYPE_59]
