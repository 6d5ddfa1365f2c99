// The RTCM2X message classes share RTCMV's message templates; only the release of a record's
// blocks is the RTCM2X codec's own.
#pragma once

#include "RTCMV_MessageBase.h"

#include <RTCM2X_codec.h>

template <class Self, class Record, class Sub = void>
class RTCM2X_MessageBase : public RTCMV_MessageBase<Self, Record, Sub, &Nvt::Mesaro::RTCM2X_free_record>
{
protected:
    using RTCMV_MessageBase<Self, Record, Sub, &Nvt::Mesaro::RTCM2X_free_record>::RTCMV_MessageBase;
};

template <class M>
Message *RTCM2X_wrapRecord(void *record)
{
    return RTCMV_wrapRecord<M, &Nvt::Mesaro::RTCM2X_free_record>(record);
}

using RTCM2X_RawLine = RTCMV_RawLine;
namespace RTCM2X_detail = RTCMV_detail;
