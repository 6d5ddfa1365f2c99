/* Export macro of the nvtguibase shared library; plain C so that the callback table header stays usable from C.
   The library is built with hidden visibility, so every public function and class carries this mark. */
#ifndef NVTGUIBASE_GLOBAL_H
#define NVTGUIBASE_GLOBAL_H

#if defined(_WIN32)
#  if defined(NVTGUIBASE_LIBRARY)
#    define NVTGUIBASE_EXPORT __declspec(dllexport)
#  else
#    define NVTGUIBASE_EXPORT __declspec(dllimport)
#  endif
#else
#  define NVTGUIBASE_EXPORT __attribute__((visibility("default")))
#endif

#endif
