"""Reference-station position and antenna messages: types 3, 22, 23, 24 and 32."""

from rtcmv_schema import wire, text, message
from header_dgnss import header
from rtk import CONSTELLATION

ABSENT_PRESENT = [(0, "Absent"), (1, "Present")]

# Type 22 carries its word 4 for 2 or 3 data words and the L2 deltas (word 5) for 3 only.
WORD_4 = "No_Of_Data_Words == 2 || No_Of_Data_Words == 3"
WORD_5 = "No_Of_Data_Words == 3"

# Steps of the station coordinates and heights (`metres=`): the catalogue shows these fields as
# raw integers, a station position needs them in metres. Type 3 and 32 coordinates come in
# centimetres, type 24's in 0.1 mm; the type 22 L1 deltas and both heights in 1/256 cm, the
# L2 deltas in 1/16 cm.
CENTIMETRE = 0.01
CM_256 = 0.01 / 256
CM_16 = 0.01 / 16


def ecef_message(msg_type, kind, description, errors):
    """Types 3 and 32: header, then three 32-bit coordinates."""
    return message(msg_type, kind, description, errors, header() + [
        #    field     bits  stored as  display name  type
        wire("ECEF_X",  32, "int",     "ECEF X",     "i(32)", metres=CENTIMETRE),
        wire("ECEF_Y",  32, "int",     "ECEF Y",     "i(32)", metres=CENTIMETRE),
        wire("ECEF_Z",  32, "int",     "ECEF Z",     "i(32)", metres=CENTIMETRE),
    ])


MESSAGE_TYPE_3 = ecef_message(3, 14, "GPS Reference Station Parameters", (-115, -126))
MESSAGE_TYPE_32 = ecef_message(32, 20, "Differential GLONASS Reference Station Parameters",
                               (-237, -248))

MESSAGE_TYPE_22 = message(22, 17, "Extended Reference Station Parameters", (-178, -198), header() + [
    #    field                  bits  stored as         display name           type
    wire("L1_ECEF_Delta_X",       8, "signed char",   "L1 ECEF Delta-X",     "i(8)", metres=CM_256),
    wire("L1_ECEF_Delta_Y",       8, "signed char",   "L1 ECEF Delta-Y",     "i(8)", metres=CM_256),
    wire("L1_ECEF_Delta_Z",       8, "signed char",   "L1 ECEF Delta-Z",     "i(8)", metres=CM_256),
    wire("Reserved",              2, "unsigned char", "Reserved",            "byte",
         flags="optional", when=WORD_4),
    wire("Constellation",         1, "unsigned char", "Constellation",       "byte",
         symbols=CONSTELLATION, flags="optional", when=WORD_4),
    wire("AT_Indicator",          1, "unsigned char", "AT Indicator",        "byte",
         symbols=ABSENT_PRESENT, flags="optional", when=WORD_4),
    wire("ARP_Indicator",         1, "unsigned char", "ARP Indicator",       "byte",
         symbols=ABSENT_PRESENT, flags="optional", when=WORD_4),
    # Here 0 means the height is present: the opposite of type 24.
    wire("Height_Indicator",      1, "unsigned char", "Height Indicator",    "byte",
         symbols=[(0, "Present"), (1, "Absent")], flags="optional", when=WORD_4),
    wire("Phase_Center_Height",  18, "unsigned int",  "Phase Center Height", "u(18)",
         symbols=[(174762, "fill bits")], flags="optional", when=WORD_4, metres=CM_256),
    wire("L2_ECEF_Delta_X",       8, "signed char",   "L2 ECEF Delta-X",     "i(8)",
         flags="optional", when=WORD_5, metres=CM_16),
    wire("L2_ECEF_Delta_Y",       8, "signed char",   "L2 ECEF Delta-Y",     "i(8)",
         flags="optional", when=WORD_5, metres=CM_16),
    wire("L2_ECEF_Delta_Z",       8, "signed char",   "L2 ECEF Delta-Z",     "i(8)",
         flags="optional", when=WORD_5, metres=CM_16),
])

MESSAGE_TYPE_23 = message(23, 18, "Antenna Type Definition Record", (-199, -218), header() + [
    #    field            bits  stored as         display name     type
    wire("Reserved",        1, "unsigned char", "Reserved",      "byte"),
    wire("ARP_Indicator",   1, "unsigned char", "ARP Indicator", "byte", symbols=ABSENT_PRESENT),
    wire("Serial_Flag",     1, "unsigned char", "Serial Flag",   "byte", symbols=ABSENT_PRESENT),
    wire("NAD",             5, "unsigned char", "NAD",           "u(5)"),
    text("Antenna_Descriptor", "Antenna Descriptor", count="NAD", capacity=31, flags="repeated"),
    wire("Setup_Id",        8, "unsigned char", "Setup Id",      "u(8)", symbols=[(0, "Unspecified")]),
    wire("Reserved2",       3, "unsigned char", "Reserved2",     "byte"),
    # NAS is on the wire whether or not the serial number follows.
    wire("NAS",             5, "unsigned char", "NAS",           "u(5)"),
    text("Antenna_Serial_Number", "Antenna Serial Number", count="NAS", capacity=31,
         flags="repeated, optional", when="Serial_Flag == 1"),
])

MESSAGE_TYPE_24 = message(24, 19, "Antenna Reference Point (ARP)", (-219, -236), header() + [
    #    field               bits  stored as         display name        type
    wire("ECEF_X",             38, "int64_t",       "ECEF X",           "i(38)", metres=0.0001),
    wire("Reserved",            2, "unsigned char", "Reserved",         "byte", init=0),
    wire("ECEF_Y",             38, "int64_t",       "ECEF Y",           "i(38)", metres=0.0001),
    wire("Reserved2",           2, "unsigned char", "Reserved2",        "byte", init=0),
    wire("ECEF_Z",             38, "int64_t",       "ECEF Z",           "i(38)", metres=0.0001),
    wire("Constellation",       1, "unsigned char", "Constellation",    "byte", symbols=CONSTELLATION),
    wire("Height_Indicator",    1, "unsigned char", "Height Indicator", "byte", symbols=ABSENT_PRESENT),
    wire("Antenna_Height",     18, "unsigned int",  "Antenna Height",   "u(18)",
         flags="optional", when="Height_Indicator == 1", metres=CM_256),
    # Zeroed first so that an absent tail reads as 0.
    wire("Reserved3",           6, "unsigned char", "Reserved3",        "byte", init=0,
         flags="optional", when="Height_Indicator == 1"),
])

RECORDS = [MESSAGE_TYPE_3, MESSAGE_TYPE_22, MESSAGE_TYPE_23, MESSAGE_TYPE_24, MESSAGE_TYPE_32]
