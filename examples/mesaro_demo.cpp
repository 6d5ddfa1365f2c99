// Builds a type 1 message (DGNSS corrections), encodes it into packed data words and decodes it
// again with the codec, printing what came back. A first look at the library until the rtcmv tool
// decodes whole streams.
#include <RTCMV_codec.h>

#include <cstdio>
#include <vector>

using namespace Nvt::Mesaro;

int main()
{
    RTCMV_Message_Type_1_s message;
    RTCMV_init_Message_Type_1(&message);
    message.Reference_Station_Id = 123;
    message.Modified_Z_Count = 4500;
    message.Sequence_No_ = 3;
    message.No_Of_Data_Words = 5; // 3 corrections of 40 bits in 5 words of 24 bits
    const short corrections[3] = {-1234, 56, 32767};
    for (int i = 0; i < 3; ++i) {
        RTCMV_DGNSS_s *c = RTCMV_append_Message_Type_1_Corrections(&message);
        if (c == nullptr)
            return 1;
        c->UDRE = 1;
        c->Satellite_Id = static_cast<unsigned char>(5 + i);
        c->PRC = corrections[i];
        c->RRC = -3;
        c->Issue_Of_Data = static_cast<unsigned char>(40 + i);
    }

    std::vector<unsigned char> packed(2 * 3 + 5 * 3); // header words plus data words, 3 bytes each
    const int32_t written = RTCMV_encode_Message_Type_1(packed.data(), uint16_t(packed.size()), &message);
    RTCMV_free_Message_Type_1(&message);
    std::printf("encoded type 1: %d bits\n", written);

    RTCMV_context_s context;
    RTCMV_init_context(&context);
    RTCMV_record_u record;
    const int32_t result = RTCMV_decode(&context, packed.data(), uint16_t(packed.size()), &record);
    if (result < 0) {
        std::printf("decode failed: %s\n", RTCMV_error_name(result));
        return 1;
    }
    const RTCMV_Message_Type_1_s &decoded = record.Message_Type_1;
    std::printf("decoded %d bits: type %u, station %u, z-count %u, %u corrections\n", result,
                decoded.Message_Type, decoded.Reference_Station_Id, decoded.Modified_Z_Count, decoded.Ns);
    for (unsigned i = 0; i < decoded.Ns; ++i) {
        const RTCMV_DGNSS_s &c = decoded.Corrections[i];
        std::printf("  satellite %2u  PRC %6d  RRC %4d  IOD %u\n", c.Satellite_Id, c.PRC, c.RRC, c.Issue_Of_Data);
    }
    RTCMV_free_Message_Type_1(&record.Message_Type_1);
    return 0;
}
