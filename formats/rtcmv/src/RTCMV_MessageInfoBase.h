// What every RTCMV message descriptor does when it is built and destroyed: its trace channel,
// the allocation tracer, main or sub-record, its text and its format. The generated descriptor
// adds its fields and its discriminant. Another generated format (RTCM2X) names its own format.
#pragma once

#include <mesaroframework/MessageInfo.h>

#include <QtCore/QString>

class FormatInfo;
struct TraceChannel;

class RTCMV_MessageInfoBase : public MessageInfo
{
public:
    RTCMV_MessageInfoBase(const RTCMV_MessageInfoBase &) = default;
    RTCMV_MessageInfoBase &operator=(const RTCMV_MessageInfoBase &) = default;

    // The descriptor's class name, such as "RTCMV_DGNSS_MessageInfo".
    const QString &getClassName() const { return m_className; }

protected:
    // A main message gets its short descriptive text; a sub-record is marked as not main. format:
    // the format whose catalogue holds the descriptor (RTCMV when null).
    RTCMV_MessageInfoBase(QString displayName, QString className, TraceChannel &channel, bool main,
                          QString shortDescriptiveText, const FormatInfo *format = nullptr);
    ~RTCMV_MessageInfoBase() override;

    void enter() const;

private:
    QString m_className;
    TraceChannel *m_channel;
};
