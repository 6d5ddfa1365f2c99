// libFuzzer target that holds each codec's fast paths against its field-by-field reads: every
// input gives the same result both ways and, when it decodes, the same record.
#include "codec_support.h"
#include "field_by_field.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace Nvt::Mesaro;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint16_t length = uint16_t(std::min<size_t>(size, UINT16_MAX));
    const CodecTables *known = length >= 2 ? codecTablesOfType(data[1] >> 2) : nullptr;
    const CodecTables &format = known != nullptr ? *known : RTCMV_TABLES;
    auto *fieldByField = &format == &RTCM2X_TABLES ? FieldByField::decodeRTCM2X : FieldByField::decodeRTCMV;

    CodecSupport::AnyRecord fast, reference;
    std::memset(&fast, 0, sizeof fast);
    std::memset(&reference, 0, sizeof reference);
    const int32_t result = format.decode(nullptr, data, length, &fast);
    require(fieldByField(data, length, &reference) == result);
    if (result > 0) {
        require(CodecSupport::bitLengthOf(&fast) == CodecSupport::bitLengthOf(&reference));
        require(CodecSupport::firstDifference(&reference, &fast, format).empty());
    }
    format.freeRecord(&fast);
    format.freeRecord(&reference);  // the same layout and the same heap blocks
    return 0;
}
