// The RTCM2X message descriptors share RTCMV's descriptor base and name their own format.
#pragma once

#include "RTCMV_MessageInfoBase.h"

class RTCM2X_MessageInfoBase : public RTCMV_MessageInfoBase
{
protected:
    RTCM2X_MessageInfoBase(QString displayName, QString className, TraceChannel &channel, bool main,
                           QString shortDescriptiveText);
};
