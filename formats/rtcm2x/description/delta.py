"""Delta differential GPS corrections: type 2, laid out as type 1's correction blocks."""

from rtcm2x_schema import wire, derived, records, sub_record, message, header

# The change of the corrections between two issues of data, five bytes per satellite.
DELTA_DGNSS = sub_record("Delta_DGNSS", kind=1, errors=(-2, -9), fields=[
    wire("Scale_Factor",   1, "unsigned char", "Scale Factor",  "byte",
         symbols=[(0, "0.02 m"), (1, "0.32 m")]),
    wire("UDRE",           2, "unsigned char", "UDRE",          "byte",
         symbols=[(0, "LT 1 m"), (1, "GT 1 m and LE 4 m"), (2, "GT 4 m and LE 8 m"), (3, "GT 8 m")]),
    wire("Satellite_Id",   5, "unsigned char", "Satellite Id",  "u(5)"),
    wire("Delta_PRC",     16, "short",         "Delta PRC",     "i(16)", symbols=[(-32768, "error")]),
    wire("Delta_RRC",      8, "signed char",   "Delta RRC",     "i(8)", symbols=[(-128, "error")]),
    wire("Issue_Of_Data",  8, "unsigned char", "Issue Of Data", "u(8)"),
])

MESSAGE_TYPE_2 = message(2, 4, "Delta Differential GPS Corrections", (-34, -42), header() + [
    derived("Ns", "unsigned char", "Ns", "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words * 3 / 5"),
    records("Corrections", "Delta_DGNSS", "Corrections", count="Ns", flags="repeated, no role"),
])

RECORDS = [DELTA_DGNSS, MESSAGE_TYPE_2]
