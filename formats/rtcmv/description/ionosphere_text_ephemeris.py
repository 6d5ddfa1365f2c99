"""Ionospheric delay (block Type_15, message type 15), special text (16) and GPS ephemeris (17)."""

from rtcmv_schema import wire, derived, text, records, sub_record, message
from header_dgnss import header
from rtk import CONSTELLATION

TYPE_15 = sub_record("Type_15", kind=1, errors=(-2, -8), fields=[
    #    field             bits  stored as          display name      type
    wire("R",                2, "unsigned char",  "R",              "byte"),
    wire("G",                1, "unsigned char",  "G",              "byte", symbols=CONSTELLATION),
    wire("Satellite_Id",     5, "unsigned char",  "Satellite Id",   "u(5)"),
    wire("Delay",           14, "unsigned short", "Delay",          "u(14)"),
    wire("Rate_Of_Change",  14, "short",          "Rate Of Change", "i(14)",
         symbols=[(-8192, "Do not use")], do_not_use=-8192),
])

MESSAGE_TYPE_15 = message(15, 31, "Ionospheric Delay Message", (-383, -391), header() + [
    # Whole 36-bit blocks in the data words; the rest of the last word is fill.
    derived("Ns", "unsigned char", "Ns", "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words * 2 / 3"),
    records("Corrections", "Type_15", "Corrections", count="Ns", flags="repeated, no role"),
])

MESSAGE_TYPE_16 = message(16, 15, "GPS Special Message", (-127, -137), header() + [
    # Every character slot of the data words, trailing fill characters included.
    derived("Message_Length", "unsigned char", "Message Length", "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words * 3"),
    text("Message", "Message", count="Message_Length", capacity=90, flags="repeated"),
])

MESSAGE_TYPE_17 = message(17, 16, "GPS Ephemeris Message", (-138, -177), header() + [
    #    field            bits  stored as          display name     type     unit / scale factor
    wire("Week_Number",     10, "unsigned short", "Week Number",   "u(10)", unit="week"),
    wire("IDOT",            14, "short",          "IDOT",          "i(14)", unit="semicirclepersecond", scale="2^-43"),
    wire("IODE",             8, "unsigned char",  "IODE",          "u(8)"),
    wire("t_oc",            16, "unsigned short", "t oc",          "u(16)", unit="second", scale="2^4"),
    wire("a_f1",            16, "short",          "a f1",          "i(16)", unit="secondpersecond", scale="2^-43"),
    wire("a_f2",             8, "signed char",    "a f2",          "i(8)",  unit="secondpersecondsquared", scale="2^-55"),
    wire("C_rs",            16, "short",          "C rs",          "i(16)", unit="meter", scale="2^-5"),
    wire("DEL_N",           16, "short",          "DEL N",         "i(16)", unit="semicirclepersecond", scale="2^-43"),
    wire("C_uc",            16, "short",          "C uc",          "i(16)", unit="radian", scale="2^-29"),
    wire("e",               32, "unsigned int",   "e",             "u(32)", scale="2^-33"),
    wire("C_us",            16, "short",          "C us",          "i(16)", unit="radian", scale="2^-29"),
    wire("SQRT_A",          32, "unsigned int",   "SQRT A",        "u(32)", unit="metersqrt", scale="2^-19"),
    wire("t_oe",            16, "unsigned short", "t oe",          "u(16)", unit="second", scale="2^4"),
    wire("OMEGA_0",         32, "int",            "OMEGA 0",       "i(32)", unit="semicircle", scale="2^-31"),
    wire("C_ic",            16, "short",          "C ic",          "i(16)", unit="radian", scale="2^-29"),
    wire("i_0",             32, "int",            "i 0",           "i(32)", unit="semicircle", scale="2^-31"),
    wire("C_is",            16, "short",          "C is",          "i(16)", unit="radian", scale="2^-29"),
    wire("omega",           32, "int",            "omega",         "i(32)", unit="semicircle", scale="2^-31"),
    wire("C_rc",            16, "short",          "C rc",          "i(16)", unit="meter", scale="2^-5"),
    wire("OMEGADOT",        24, "int",            "OMEGADOT",      "i(24)", unit="semicirclepersecond", scale="2^-43"),
    wire("M_0",             32, "int",            "M 0",           "i(32)", unit="semicircle", scale="2^-31"),
    wire("IODC",            10, "unsigned short", "IODC",          "u(10)"),
    wire("a_f0",            22, "int",            "a f0",          "i(22)", unit="second", scale="2^-31"),
    wire("PRN_ID",           5, "unsigned char",  "PRN ID",        "u(5)"),
    # The fill fields start as binary 101, so an encoded record sends that pattern by default.
    wire("FILL1",            3, "unsigned char",  "FILL1",         "byte",  init=5),
    wire("T_gd",             8, "signed char",    "T gd",          "i(8)",  unit="second", scale="2^-31"),
    wire("Code_On_L2",       2, "unsigned char",  "Code On L2",    "byte",
         symbols=[(0, "Reserved"), (1, "P code ON"), (2, "C/A code ON"), (3, "L2C ON")]),
    wire("SV_Accuracy",      4, "unsigned char",  "SV Accuracy",   "u(4)"),
    wire("SV_Health",        6, "unsigned char",  "SV Health",     "u(6)"),
    wire("L2P_Data_Flag",    1, "unsigned char",  "L2P Data Flag", "byte",
         symbols=[(0, "L2P-Code data ON"), (1, "L2P-Code data OFF")]),
    wire("FILL2",            3, "unsigned char",  "FILL2",         "byte",  init=5),
])

RECORDS = [TYPE_15, MESSAGE_TYPE_15, MESSAGE_TYPE_16, MESSAGE_TYPE_17]
