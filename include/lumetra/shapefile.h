/* Lumetra: shapefiles (.shp main file and .shx index) -- the Shape* C
 * interface.
 *
 * Conventions
 *  - The caller allocates the shpFile and passes it to every call.
 *    ShapeOpen and ShapeCreate clear it and set it up; ShapeClose closes both
 *    streams and frees every buffer the library allocated in it.
 *  - Results: 0 success, 1 end of file (ShapeRead only), -1 failure.  A
 *    failure prints a short text, ": " and the system error text to standard
 *    error (as perror does) and leaves errno set.  Failing to grow a buffer
 *    is a failure like any other: the caller's process is never ended.
 *  - Base names: ".shp" and ".shx" are always appended.
 *  - After ShapeRead the record's shape type is in shapeType and, by type:
 *    a point in points[0], points[1]; a poly-line or polygon in numParts and
 *    parts (each part points into the points array); a multipoint in
 *    numMultiPoints and multiPoints.  These pointers stay valid until the
 *    next ShapeRead or ShapeClose.  The attribute table (.dbf) is handled by
 *    the db* functions of <lumetra/dbf.h>.
 *  - A shpFile is used by one thread at a time.
 */
#ifndef LUMETRA_SHAPEFILE_H
#define LUMETRA_SHAPEFILE_H

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

#include <stdio.h>
#include <stddef.h>

#define SHP_NULL        0
#define SHP_POINT       1
#define SHP_POLYLINE    3
#define SHP_POLYGON     5
#define SHP_MULTIPOINT  8

#pragma pack(push, 4)
typedef struct shpPart {
    int     numPoints;     /* 0 */
    double* points;        /* 4 x, y doubles of the part */
} shpPart;                                                   /* 12 */

typedef struct shpPartList {   /* the poly argument of ShapeWritePoly */
    int      numParts;     /* 0 */
    shpPart* parts;        /* 4 */
} shpPartList;                                               /* 12 */

typedef struct shpFile {       /* allocated by the caller */
    FILE*              shp;               /*   0 */
    FILE*              shx;               /*   8 */
    int                mode;              /*  16 1 created, 0 opened */
    int                nextRecord;        /*  20 from 1 */
    int                shpLength;         /*  24 16-bit words, from 50 */
    int                shxLength;         /*  28 */
    unsigned long long recordCapacity;    /*  32 record buffer */
    unsigned long long recordSize;        /*  40 */
    unsigned char*     recordData;        /*  48 */
    int                partStartCapacity; /*  56 part-start buffer */
    int                partStartCount;    /*  60 */
    int*               partStarts;        /*  64 */
    int                pointCapacity;     /*  72 */
    int                partCapacity;      /*  76 */
    double             fileBox[4];        /*  80 xmin, ymin, xmax, ymax as read at open */
    int                numRecords;        /* 112 */
    int                shapeType;         /* 116 */
    double             box[4];            /* 120 last record's box; running box when writing */
    double*            points;            /* 152 x, y pairs */
    int                numMultiPoints;    /* 160 */
    double*            multiPoints;       /* 164 */
    int                numParts;          /* 172 */
    shpPart*           parts;             /* 176 */
    unsigned char      reserved[8];       /* 184 unused */
} shpFile;                                                   /* 192 */
#pragma pack(pop)

LUMETRA_STATIC_ASSERT(sizeof(shpPart) == 12, "shpPart");
LUMETRA_STATIC_ASSERT(offsetof(shpPart, points) == 4, "shpPart.points");
LUMETRA_STATIC_ASSERT(sizeof(shpPartList) == 12, "shpPartList");
LUMETRA_STATIC_ASSERT(offsetof(shpPartList, parts) == 4, "shpPartList.parts");
LUMETRA_STATIC_ASSERT(sizeof(shpFile) == 192, "shpFile");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, shx) == 8, "shx");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, mode) == 16, "mode");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, nextRecord) == 20, "nextRecord");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, shpLength) == 24, "shpLength");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, shxLength) == 28, "shxLength");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, recordCapacity) == 32, "recordCapacity");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, recordSize) == 40, "recordSize");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, recordData) == 48, "recordData");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, partStartCapacity) == 56, "partStartCapacity");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, partStartCount) == 60, "partStartCount");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, partStarts) == 64, "partStarts");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, pointCapacity) == 72, "pointCapacity");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, partCapacity) == 76, "partCapacity");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, fileBox) == 80, "fileBox");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, numRecords) == 112, "numRecords");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, shapeType) == 116, "shapeType");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, box) == 120, "box");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, points) == 152, "points");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, numMultiPoints) == 160, "numMultiPoints");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, multiPoints) == 164, "multiPoints");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, numParts) == 172, "numParts");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, parts) == 176, "parts");
LUMETRA_STATIC_ASSERT(offsetof(shpFile, reserved) == 184, "reserved");

#ifdef __cplusplus
extern "C" {
#endif
LUMETRA_API int ShapeOpen(shpFile* shape, const char* baseName);   /* 0; -1. Appends ".shp" and ".shx" */
LUMETRA_API int ShapeRead(shpFile* shape);                         /* 0 record; 1 end; -1 */
LUMETRA_API int ShapeCreate(shpFile* shape, const char* baseName); /* 0; -1 */
LUMETRA_API int ShapeWritePoint(shpFile* shape, const double* xy); /* 0; -1. xy: x then y */
LUMETRA_API int ShapeWritePoly(shpFile* shape, const shpPartList* poly, int shapeType); /* 0; -1 */
LUMETRA_API int ShapeClose(shpFile* shape);                        /* 0; -1 for NULL */
#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_SHAPEFILE_H */
