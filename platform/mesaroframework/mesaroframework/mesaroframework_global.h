// Export macro of the mesaroframework shared library.
// The library is built with hidden visibility, so every public class carries this mark.
#pragma once

#include <QtCore/qglobal.h>

#if defined(MESAROFRAMEWORK_LIBRARY)
#define MESAROFRAMEWORK_EXPORT Q_DECL_EXPORT
#else
#define MESAROFRAMEWORK_EXPORT Q_DECL_IMPORT
#endif
