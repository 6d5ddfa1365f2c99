// What every RTCMV message descriptor does when it is built and destroyed: its trace channel,
// the allocation tracer, main or sub-record, its text and its format. The generated descriptor
// adds its fields and its discriminant.
#pragma once

#include <mesaroframework/MessageInfo.h>

#include <QtCore/QString>

struct TraceChannel;

class RTCMV_MessageInfoBase : public MessageInfo
{
public:
    RTCMV_MessageInfoBase(const RTCMV_MessageInfoBase &) = default;
    RTCMV_MessageInfoBase &operator=(const RTCMV_MessageInfoBase &) = default;

    // The descriptor's class name, such as "RTCMV_DGNSS_MessageInfo".
    const QString &getClassName() const { return m_className; }

protected:
    // A main message gets its short descriptive text; a sub-record is marked as not main.
    RTCMV_MessageInfoBase(QString displayName, QString className, TraceChannel &channel, bool main,
                          QString shortDescriptiveText);
    ~RTCMV_MessageInfoBase() override;

    void enter() const;

private:
    QString m_className;
    TraceChannel *m_channel;
};
