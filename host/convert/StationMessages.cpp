#include "StationMessages.h"

#include <cmath>
#include <cstring>

using namespace Nvt::Mesaro;

namespace convert {

namespace {

constexpr double kCm256 = 0.01 / 256; // metres per unit of heights and offsets

// RTCM 3 gives the antenna reference point and, in 1006, its height above the marker. RTCM 2 has
// no phase-centre offsets to offer from that, so type 3 carries the reference point itself and
// type 22 says its L1 and L2 phase centres are there too.
void send3(const sta_t &s, unsigned z, Rtcm2Sender &sender)
{
    RTCMV_Message_Type_3_s m;
    RTCMV_init_Message_Type_3(&m);
    m.Message_Type = 3;
    m.ECEF_X = int(std::llround(s.pos[0] / 0.01));
    m.ECEF_Y = int(std::llround(s.pos[1] / 0.01));
    m.ECEF_Z = int(std::llround(s.pos[2] / 0.01));
    sender.send(m, &RTCMV_encode_Message_Type_3, z);
}

void send22(const sta_t &s, unsigned z, Rtcm2Sender &sender)
{
    RTCMV_Message_Type_22_s m;
    RTCMV_init_Message_Type_22(&m);
    m.Message_Type = 22;
    m.Constellation = 0;
    m.AT_Indicator = s.antdes[0] != '\0' ? 1 : 0; // a type 23 follows
    m.ARP_Indicator = 1;                          // and a type 24
    m.Height_Indicator = 1;                       // no phase-centre height
    m.Phase_Center_Height = 174762;               // fill bits where no height is given
    // The deltas and the indicators word; the L2 deltas (a third word) would only repeat zeros.
    sender.send(m, &RTCMV_encode_Message_Type_22, z, 2);
}

void copyText(char *to, unsigned char &length, const char *from)
{
    const std::size_t n = std::min<std::size_t>(std::strlen(from), 31);
    std::memcpy(to, from, n);
    to[n] = '\0';
    length = static_cast<unsigned char>(n);
}

void send23(const sta_t &s, unsigned z, Rtcm2Sender &sender)
{
    RTCMV_Message_Type_23_s m;
    RTCMV_init_Message_Type_23(&m);
    m.Message_Type = 23;
    m.ARP_Indicator = 1;
    copyText(m.Antenna_Descriptor, m.NAD, s.antdes);
    m.Setup_Id = static_cast<unsigned char>(s.antsetup);
    m.Serial_Flag = s.antsno[0] != '\0' ? 1 : 0;
    copyText(m.Antenna_Serial_Number, m.NAS, s.antsno);
    if (!m.Serial_Flag)
        m.NAS = 0;
    sender.send(m, &RTCMV_encode_Message_Type_23, z);
}

void send24(const sta_t &s, unsigned z, Rtcm2Sender &sender)
{
    RTCMV_Message_Type_24_s m;
    RTCMV_init_Message_Type_24(&m);
    m.Message_Type = 24;
    m.ECEF_X = std::llround(s.pos[0] / 0.0001);
    m.ECEF_Y = std::llround(s.pos[1] / 0.0001);
    m.ECEF_Z = std::llround(s.pos[2] / 0.0001);
    m.Constellation = 0;
    const long long height = std::llround(s.hgt / kCm256);
    m.Height_Indicator = s.hgt > 0 && height < (1 << 18) ? 1 : 0;
    m.Antenna_Height = m.Height_Indicator ? unsigned(height) : 0;
    sender.send(m, &RTCMV_encode_Message_Type_24, z);
}

} // namespace

bool stationHas(const sta_t &station, int type)
{
    if (type == 23)
        return station.antdes[0] != '\0';
    return station.pos[0] != 0 || station.pos[1] != 0 || station.pos[2] != 0;
}

void sendStation(const sta_t &station, int type, gtime_t now, Rtcm2Sender &sender)
{
    const unsigned z = zTimeOf(now, false).zCount;
    switch (type) {
    case 3: send3(station, z, sender); break;
    case 22: send22(station, z, sender); break;
    case 23: send23(station, z, sender); break;
    case 24: send24(station, z, sender); break;
    default: break;
    }
}

} // namespace convert
