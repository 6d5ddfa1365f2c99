"""Radiobeacon and station messages: types 4, 5, 6, 7, 13, 14 and 35.

The header is the one every RTCM 2 message starts with; it is shared with the RTCMV description.
"""

from rtcm2x_schema import wire, derived, text, records, sub_record, message, header

NO_YES = [(0, "No"), (1, "Yes")]

# Type 4 carries the datum offsets (its words 5 and 6) only when it has four data words.
DATUM_OFFSETS = "No_Of_Data_Words >= 4"

MESSAGE_TYPE_4 = message(4, 5, "Reference Station Datum", (-43, -59), header() + [
    #    field                  bits  stored as         display name             type
    wire("DGNSS_System",          3, "unsigned char", "DGNSS System",          "byte",
         symbols=[(0, "GPS"), (1, "GLONASS"), (7, "Invalid")]),
    wire("Datum_Type",            1, "unsigned char", "Datum Type",            "byte",
         symbols=[(0, "Local"), (1, "Global")]),
    wire("Spare",                 4, "unsigned char", "Spare",                 "byte"),
    # Two alpha characters, then three of the sub-division: five characters in a row.
    derived("Datum_Name_Length",    "unsigned char", "Datum Name Length",     "u(8)", flags="virtual",
            init=5),
    text("Datum_Name",                                "Datum Name",            count="Datum_Name_Length", flags="repeated",
         capacity=5),
    wire("DX",                   16, "short",         "DX",                    "i(16)", unit="m", scale=0.1,
         flags="optional", when=DATUM_OFFSETS),
    wire("DY",                   16, "short",         "DY",                    "i(16)", unit="m", scale=0.1,
         flags="optional", when=DATUM_OFFSETS),
    wire("DZ",                   16, "short",         "DZ",                    "i(16)", unit="m", scale=0.1,
         flags="optional", when=DATUM_OFFSETS),
])

# One data word per satellite.
SATELLITE_HEALTH = sub_record("Satellite_Health", kind=2, errors=(-10, -21), fields=[
    #    field                        bits  stored as         display name                  type
    wire("Reserved",                    1, "unsigned char", "Reserved",                   "byte"),
    wire("Satellite_Id",                5, "unsigned char", "Satellite Id",               "u(5)"),
    wire("Issue_Of_Data_Link",          1, "unsigned char", "Issue Of Data Link",         "byte"),
    wire("Data_Health",                 3, "unsigned char", "Data Health",                "byte"),
    # 0 means no signal; otherwise the carrier-to-noise ratio is the value plus 24 dB-Hz.
    wire("CN0",                         5, "unsigned char", "C/N0",                       "u(5)"),
    wire("Health_Enable",               1, "unsigned char", "Health Enable",              "byte",
         symbols=NO_YES),
    wire("New_Navigation_Data",         1, "unsigned char", "New Navigation Data",        "byte",
         symbols=NO_YES),
    wire("Loss_Of_Satellite_Warning",   1, "unsigned char", "Loss Of Satellite Warning",  "byte",
         symbols=NO_YES),
    wire("Time_To_Unhealthy",           4, "unsigned char", "Time To Unhealthy",          "u(4)",
         unit="min", scale=5),
    wire("Unassigned",                  2, "unsigned char", "Unassigned",                 "byte"),
])

MESSAGE_TYPE_5 = message(5, 6, "GPS Constellation Health", (-60, -68), header() + [
    derived("Ns", "unsigned char", "Ns", "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words"),
    records("Satellites", "Satellite_Health", "Satellites", count="Ns", flags="repeated, no role"),
])

# A null frame: a header that only keeps the link busy.
MESSAGE_TYPE_6 = message(6, 7, "GPS Null Frame", (-69, -77), header())

BIT_RATE = [(0, "25 bps"), (1, "50 bps"), (2, "100 bps"), (3, "110 bps"), (4, "150 bps"),
            (5, "200 bps"), (6, "250 bps"), (7, "300 bps")]

# Three data words per radiobeacon, the same 72 bits in the GPS (type 7) and the GLONASS
# (type 35) radiobeacon almanacs.
BEACON = sub_record("Beacon", kind=3, errors=(-22, -33), fields=[
    #    field                  bits  stored as          display name            type
    wire("Latitude",             16, "short",          "Latitude",            "i(16)", unit="deg",
         scale=90.0 / 32767),
    wire("Longitude",            16, "short",          "Longitude",           "i(16)", unit="deg",
         scale=180.0 / 32767),
    wire("Range",                10, "unsigned short", "Range",               "u(10)", unit="km"),
    # The frequency is 190 kHz plus this many steps of 100 Hz (all ones: 599.5 kHz).
    wire("Frequency",            12, "unsigned short", "Frequency Above 190 kHz", "u(12)", unit="kHz",
         scale=0.1),
    wire("Health",                2, "unsigned char",  "Health",              "byte",
         symbols=[(0, "Normal"), (1, "No Integrity Monitor"), (2, "No Information"),
                  (3, "Do Not Use")]),
    wire("Station_Id",           10, "unsigned short", "Station Id",          "u(10)"),
    wire("Bit_Rate",              3, "unsigned char",  "Bit Rate",            "byte", symbols=BIT_RATE),
    wire("Modulation_Code",       1, "unsigned char",  "Modulation Code",     "byte",
         symbols=[(0, "MSK"), (1, "FSK")]),
    wire("Synchronization_Type",  1, "unsigned char",  "Synchronization Type", "byte",
         symbols=[(0, "Asynchronous"), (1, "Synchronous")]),
    wire("Broadcast_Coding",      1, "unsigned char",  "Broadcast Coding",    "byte",
         symbols=[(0, "No Coding"), (1, "FEC Coding")]),
])

MESSAGE_TYPE_7 = message(7, 8, "Radiobeacon Almanac", (-78, -86), header() + [
    derived("Ns", "unsigned char", "Ns", "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words / 3"),
    records("Beacons", "Beacon", "Beacons", count="Ns", flags="repeated, no role"),
])

# The radiobeacons that broadcast GLONASS corrections, each in type 7's three words.
MESSAGE_TYPE_35 = message(35, 11, "GLONASS Radiobeacon Almanac", (-114, -122), header() + [
    derived("Ns", "unsigned char", "Ns", "u(8)", flags="virtual",
            source="No_Of_Data_Words", formula="No_Of_Data_Words / 3"),
    records("Beacons", "Beacon", "Beacons", count="Ns", flags="repeated, no role"),
])

MESSAGE_TYPE_13 = message(13, 9, "Ground Transmitter Parameters", (-87, -101), header() + [
    #    field            bits  stored as         display name      type
    wire("Status",          1, "unsigned char", "Status",         "byte"),
    wire("Range_Flag",      1, "unsigned char", "Range Flag",     "byte"),
    wire("Reserved",        6, "unsigned char", "Reserved",       "byte"),
    wire("Latitude",       16, "short",         "Latitude",       "i(16)", unit="deg", scale=0.01),
    wire("Longitude",      16, "short",         "Longitude",      "i(16)", unit="deg", scale=0.01),
    # 0 stands for 1024 km.
    wire("Range",           8, "unsigned char", "Range",          "u(8)", unit="km", scale=4),
])

MESSAGE_TYPE_14 = message(14, 10, "GPS Time Of Week", (-102, -113), header() + [
    #    field            bits  stored as          display name     type
    wire("GPS_Week",       10, "unsigned short", "GPS Week",      "u(10)"),
    wire("Hour",            8, "unsigned char",  "Hour",          "u(8)", unit="h"),
    wire("Leap_Seconds",    6, "unsigned char",  "Leap Seconds",  "u(6)", unit="s"),
])

RECORDS = [MESSAGE_TYPE_4, SATELLITE_HEALTH, MESSAGE_TYPE_5, MESSAGE_TYPE_6, BEACON, MESSAGE_TYPE_7,
           MESSAGE_TYPE_13, MESSAGE_TYPE_14, MESSAGE_TYPE_35]
