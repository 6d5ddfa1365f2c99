// The RTCM2X field descriptors share RTCMV's field template and name their own format.
#pragma once

#include "RTCM2X_FormatInfo.h"
#include "RTCMV_FieldInfoBase.h"

template <class Msg, typename T, T (Msg::*Get)() const, T (Msg::*GetAt)(unsigned int) const,
          unsigned int (Msg::*Count)() const, bool (Msg::*Has)() const,
          const T *(Msg::*Array)() const = nullptr>
class RTCM2X_FieldInfo : public RTCMV_FieldInfo<Msg, T, Get, GetAt, Count, Has, Array>
{
protected:
    using Base = RTCM2X_FieldInfo;

    RTCM2X_FieldInfo(QString displayName, const FieldType &type, QString className, QString messageDisplayName,
                     QString fieldName)
        : RTCMV_FieldInfo<Msg, T, Get, GetAt, Count, Has, Array>(std::move(displayName), type, std::move(className),
                                                                 std::move(messageDisplayName), std::move(fieldName),
                                                                 RTCM2X_FormatInfo::getInstance())
    {
    }
};
