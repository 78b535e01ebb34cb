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

/* ---- ZIP+4 centroid files: writing ----
 * pipZip4FileWrite writes the ZIP+4 centroid file that pipZip4FileOpen reads
 * (layout: docs/formats/zip4.md) from `count` records in any order; records
 * with equal keys (ZIP Code and add-on) keep their order.  The caller owns
 * the array; the library copies nothing but a sort order (4 bytes a record).
 * The file is written as "<fileName>.partial" and renamed to fileName only
 * when complete: on failure nothing is left behind and an existing fileName
 * is untouched.  Fields, all checked (code 106 naming the record's index):
 *   zipCode      1 .. 99999
 *   addOn        0 .. 9999
 *   recordType   the record-type character (1 .. 255), reported by the
 *                find calls as "%c"
 *   longitude    ten-thousandths of a degree, POSITIVE FOR WEST, as stored:
 *                600000 .. 1910700 (60 to 191.07 degrees west); the centroid
 *                searched is x = -longitude * 100 millionths of a degree
 *   latitude     ten-thousandths of a degree north: 0 .. 900000
 *   value1, value2, value3  the caller's own values, stored and not read by
 *                the search (for example a county code and a delivery count)
 * [1] 1; -1 (106 bad record, 103 too many records, system errors of the file). */
#pragma pack(push, 4)
typedef struct pipZip4Record {
    int zipCode;
    int addOn;
    int recordType;
    int longitude;
    int latitude;
    int value1;
    int value2;
    int value3;
} pipZip4Record;
#pragma pack(pop)
LUMETRA_STATIC_ASSERT(sizeof(pipZip4Record) == 32, "pipZip4Record layout");

LUMETRA_API int pipZip4FileWrite(int libraryHandle, const char* fileName,
                                 const pipZip4Record* records, int count);

#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_PIP_EXT_H */
