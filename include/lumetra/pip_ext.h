/* Lumetra: extensions to the pip* C interface.
 *
 * The calls here go beyond the classic pip* interface: each keeps every rule of
 * the classic calls and adds an opt-in behaviour that a modern caller wants
 * (exact answers where the classic call approximates, stricter input checks).
 * The lumetra tool and the Python package use them. Conventions (handles,
 * status values, error records, buffers) are those of pip.h.
 */
#ifndef LUMETRA_PIP_EXT_H
#define LUMETRA_PIP_EXT_H

#include <lumetra/pip.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- open mode: shared read-only mapping ----
 * Added to the mode of pipObjectFileOpen (or pipExportOpen): the file is read
 * through one read-only mapping shared by every handle of the process on it,
 * and records stored uncompressed are read in place instead of being copied.
 * mode & 3 still selects the cache budget.  When the file cannot be mapped it
 * is read as without the flag.  The file must not be truncated or rewritten
 * in place while it is open (replacing it by renaming another file over it is
 * safe). */
#define PIP_OPEN_MAPPED 4

/* ---- exact k-nearest point objects ----
 * The count point objects nearest to (x, y), exactly: the search grows until no
 * point outside the searched area can be nearer than the count-th found (the
 * classic pipObjectFindFirstNearest stops at the first square ring holding
 * count points, which may miss nearer points beyond the square's sides).
 * Results come nearest first, equal distances in file order; the first is
 * returned here, the others by pipObjectFindNext. criteria may be NULL or ""
 * (no filter), else a filter as for pipObjectFindFirstNearestEx.
 * [3] 1; 0 none; -1 (count < 1 or > PIP_MAX_NEAREST_COUNT, bad criteria). */
LUMETRA_API int pipObjectFindFirstNearestExact(int objectFileHandle, int x, int y, int count,
                                               const char* criteria, char* name, int nameLength);

#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_PIP_EXT_H */
