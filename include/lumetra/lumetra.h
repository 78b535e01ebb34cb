/* Lumetra: every public header in one.  geometry.h (C++ only) is included
 * when compiled as C++. */
#ifndef LUMETRA_LUMETRA_H
#define LUMETRA_LUMETRA_H

#ifndef LUMETRA_API
#  define LUMETRA_API __attribute__((visibility("default")))
#endif
#ifndef LUMETRA_STATIC_ASSERT
#  ifdef __cplusplus
#    define LUMETRA_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#  else
#    define LUMETRA_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#  endif
#endif
LUMETRA_STATIC_ASSERT(sizeof(void*) == 8 && sizeof(int) == 4, "Lumetra's public layouts are LP64");

#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>
#include <lumetra/gpc.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>
#include <lumetra/datalib.h>
#ifdef __cplusplus
#include <lumetra/geometry.h>
#endif

#endif /* LUMETRA_LUMETRA_H */
