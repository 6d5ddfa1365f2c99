// The whole RTCMV decoder library for a host: the codec and its record walker, the catalogue (format, message and field
// descriptors), the message classes, the decoder object and the framework they build on; and the same for the second
// format, RTCM2X (the RTCM 2 message types outside RTCMV).
#pragma once

#include <mesaroframework/mesaroframework.h>
#include <nvtguibase/MemLeakTracer.h>

#include "RTCMV_codec.h"
#include "RTCMV_RecordWalker.h"
#include "RTCMV_messages.h"
#include "RTCMVDecoder.h"

#include "RTCM2X_codec.h"
#include "RTCM2X_messages.h"
#include "RTCM2XDecoder.h"
