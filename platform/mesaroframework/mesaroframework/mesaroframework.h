// mesaroframework: every public header of the host message framework in one include.
#pragma once

#include "AbstractDecoder.h"
#include "FieldInfo.h"
#include "FieldType.h"
#include "FieldValue.h"
#include "FloatRepresentation.h"
#include "FormatInfo.h"
#include "MesaroEvent.h"
#include "Message.h"
#include "MessageInfo.h"
#include "MessageSink.h"
#include "MessageSource.h"
#include "ReferenceCountedObject.h"
