/* Lumetra: geographic boundary lookup -- the pip* C interface.
 *
 * Conventions
 *  - Every service is reached through an int handle; 0 means "no handle".
 *    Handles come from pipInit (library) and the initialising calls of each
 *    family, and are ended by their terminating calls; pipTerm comes last.
 *  - Status values: 1 success, 0 nothing found / no more results, -1 failure.
 *    An unknown or wrong-kind handle returns -1 and records nothing; other
 *    failures are recorded in the library handle's error record, read with
 *    pipErrorGet.
 *  - All output buffers are caller-owned; the library never hands out memory
 *    the caller must free through this header.
 *  - Coordinates are 32-bit integers: in geographic files millionths of a
 *    degree (x longitude, y latitude), distances in feet.
 */
#ifndef LUMETRA_PIP_H
#define LUMETRA_PIP_H

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

#include <stddef.h>

/* ---- Status values ---- */
#define PIP_SUCCESS      1
#define PIP_NOT_FOUND    0          /* nothing found / no more results */
#define PIP_FAILURE    (-1)

/* ---- Handle kinds ---- */
typedef enum pipHandleKind {
    PIP_HANDLE_NONE          = 0,   /* free slot; never demanded by a lookup */
    PIP_HANDLE_LIBRARY       = 1,
    PIP_HANDLE_IMPORT        = 2,
    PIP_HANDLE_OBJECT_FILE   = 3,
    PIP_HANDLE_ZIP4_FILE     = 4,
    PIP_HANDLE_RADIAL_SEARCH = 5,
    PIP_HANDLE_OVERLAP_CHECK = 6,
    PIP_HANDLE_EXPORT        = 7,
    PIP_HANDLE_PMA           = 8
} pipHandleKind;
#define PIP_HANDLE_TABLE_INITIAL_SLOTS 100
#define PIP_HANDLE_TABLE_MAX_SLOTS     1600   /* slot 0 unused: at most 1599 live handles */

/* ---- Error codes; codes below 100 are system error numbers ---- */
#define PIP_ERR_NONE            (-1)  /* no error recorded */
#define PIP_ERR_SHORT_READ        28  /* file layer: short read of a demanded length (system range) */
#define PIP_ERR_GENERAL          100  /* message ""; the detail carries the text */
#define PIP_ERR_UNKNOWN          101  /* "Unknown error." */
#define PIP_ERR_BAD_SIGNATURE    102  /* "Invalid file signature." */
#define PIP_ERR_TABLE_OVERFLOW   103  /* "Internal table overflow." */
#define PIP_ERR_NO_MEMORY        104  /* "Insufficient memory." */
#define PIP_ERR_FILE_NOT_FOUND   105  /* "File not found." */
#define PIP_ERR_INVALID_DATA     106  /* "Invalid data passed to function." */
#define PIP_ERR_BAD_HANDLE       109  /* returned by pipErrorGet only; never stored */
#define PIP_ERR_CHECKSUM         111  /* "Invalid checksum or file size." */
#define PIP_ERROR_TEXT_SIZE      256  /* each pipErrorGet buffer */

/* ---- Error display modes (pipErrorShow) ---- */
#define PIP_ERRSHOW_RECORD       0
#define PIP_ERRSHOW_STDOUT       1
#define PIP_ERRSHOW_MESSAGEBOX   2

/* ---- Version (pipGetVersion) ---- */
#define PIP_VERSION_MAJOR        41
#define PIP_VERSION_MINOR        4
#define PIP_VERSION_TEXT         "Lumetra+ v41.04"
#define PIP_VERSION_BUFFER_SIZE  16

/* ---- Units, coordinate types, object types ---- */
#define PIP_UNITS_COORDINATE     0    /* pipDistance: any units value other than 1 */
#define PIP_UNITS_FEET           1
#define PIP_COORD_GEOGRAPHIC     1    /* coordinate-type code: millionths of a degree, distances in feet */
#define PIP_OBJECT_REGION        0
#define PIP_OBJECT_LINE          1
#define PIP_OBJECT_POINT         2

/* ---- File flags: pipObjectFileInfoStruct.flags and the import build flags ---- */
#define PIP_FILE_SEGMENTS        0x0001  /* records carry segment records */
#define PIP_FILE_COMPRESSED      0x0002  /* coordinate columns compressed */
#define PIP_FILE_TAX             0x0010  /* tax-boundary file */

/* ---- Object-file open modes (mode & 3: polygon-buffer budget) ---- */
#define PIP_OPEN_SINGLE_BUFFER   0
#define PIP_OPEN_CACHE_5MB       1
#define PIP_OPEN_CACHE_20MB      2
#define PIP_OPEN_CACHE_100MB     3

/* ---- Searches ---- */
#define PIP_DEFAULT_SEARCH_DISTANCE  366000     /* feet, set at open */
#define PIP_MIN_SEARCH_DISTANCE      2738       /* smaller values are clamped up (result -1) */
#define PIP_MAX_SEARCH_DISTANCE      36521358   /* values >= 36521359 are clamped down (result -1) */
#define PIP_FOUND_INSIDE             1          /* containing results: 1 inside, 2 near, 3 both */
#define PIP_FOUND_NEAR               2
#define PIP_MAX_NEAREST_COUNT        65536
#define PIP_NAME_SIZE                128
#define PIP_ZIP4_TEXT_SIZE           10         /* pipZip4Find* ZIP+4 text buffer */
#define PIP_ZIP4_TYPE_SIZE           2          /* pipZip4Find* record-type buffer */

/* ---- Import ---- */
#define PIP_IMPORT_MAX_POINTS        55000000   /* largest accepted point limit */
#define PIP_IMPORT_MAX_POLYGONS      16383      /* largest accepted polygon limit */
#define PIP_READ_END                 0          /* pipImportRead results */
#define PIP_READ_OBJECT              1
#define PIP_READ_SKIPPED             2

/* ---- Region overlap results ---- */
#define PIP_OVERLAP_NONE             2
#define PIP_OVERLAP_A_IN_B           3
#define PIP_OVERLAP_B_IN_A           4
#define PIP_OVERLAP_PARTIAL          5
#define PIP_OVERLAP_EQUAL            6

/* ---- Radial search modes; market areas ---- */
#define PIP_RAD_PLANAR               0
#define PIP_RAD_GEOGRAPHIC           1
#define PIP_PMA_BY_COUNT             1          /* countMode; any other value selects by weight */
#define PIP_PMA_MIN_SEGMENTS         3
#define PIP_PMA_MAX_SEGMENTS         360

/* ---- Opaque internal objects taken by the handle-less Intern functions ---- */
#ifdef __cplusplus
class pipLibraryContext;     /* behind a library handle */
class pipObjectFileObject;   /* behind an object-file handle */
class pipRadContext;         /* behind a radial-search handle */
class CpmaGlobalStoreList;   /* behind a market-area handle */
#else
typedef struct pipLibraryContext   pipLibraryContext;
typedef struct pipObjectFileObject pipObjectFileObject;
typedef struct pipRadContext       pipRadContext;
typedef struct CpmaGlobalStoreList CpmaGlobalStoreList;
#endif

/* Market-area progress: after each store; returning 0 stops the generation. */
typedef int (*pipPmaProgressCallback)(int storeCount, int storeNumber, const char* storeName);

#pragma pack(push, 4)

/* Filled by pipObjectFileQuery / pipObjectHandleFileQuery; read by pipImportInit (offsets 0, 260, 264, 284, 288). */
typedef struct pipObjectFileInfoStruct {
    char header[256];      /*   0 header text (signature line), NUL-terminated; import: replaces the default text when not empty */
    int  maxRecordSize;    /* 256 largest object record in bytes */
    int  maxPoints;        /* 260 most points in one object;  import: point limit (<= PIP_IMPORT_MAX_POINTS) */
    int  maxParts;         /* 264 most parts in one object;   import: polygon limit (<= PIP_IMPORT_MAX_POLYGONS) */
    int  minX;             /* 268 file bounding rectangle */
    int  minY;             /* 272 */
    int  maxX;             /* 276 */
    int  maxY;             /* 280 */
    int  coordType;        /* 284 coordinate-type code (1 geographic); import uses the low 16 bits */
    int  flags;            /* 288 PIP_FILE_* bits (query: header flags & 0xFFC7, bit 4 set again for tax files by pipObjectFileQuery) */
    int  numPointObjects;  /* 292 */
    int  numLineObjects;   /* 296 */
    int  numRegionObjects; /* 300 */
} pipObjectFileInfoStruct;                                   /* 304 */

/* The header extension block (pipImportInitEx / pipObjectHandleFileQueryEx). */
typedef struct pipObjectFileExtraInfoStruct {
    char text1[256];       /*   0 first text of pipImportInitEx */
    char text2[32];        /* 256 second text */
    char creationTime[32]; /* 288 ctime() text without its newline (24 characters) */
    int  blockVersion;     /* 320 the block's 16-bit value, zero-extended (12) */
    int  code;             /* 324 the 16-bit code of pipImportInitEx, zero-extended */
} pipObjectFileExtraInfoStruct;                              /* 328 */

/* The current object (pipObjectGetInfo); consumed by pipImportInsert and pipExportInsert. */
typedef struct pipObjectInfoStruct {
    char name[128];        /*   0 */
    char name2[128];       /* 128 second name */
    int  type;             /* 256 PIP_OBJECT_* */
    int  id;               /* 260 id byte (only the low byte is stored) */
    int  x;                /* 264 label point (regions, lines) or position (points) */
    int  y;                /* 268 */
    int  minX;             /* 272 object bounding rectangle (filled on read, ignored on insert) */
    int  minY;             /* 276 */
    int  maxX;             /* 280 */
    int  maxY;             /* 284 */
    int  penPattern;       /* 288 pen pattern, or symbol shape for points (one byte stored) */
    int  penWidth;         /* 292 pen width, or symbol size (one byte stored) */
    int  penColor;         /* 296 pen or symbol colour; the object's ordinal in files built by the library */
    int  brushPattern;     /* 300 regions only; 0 otherwise */
    int  brushForeground;  /* 304 */
    int  brushBackground;  /* 308 */
} pipObjectInfoStruct;                                       /* 312 */

/* One attribute field of the current object. */
typedef struct pipAttributeInfoStruct {
    char name[12];         /*   0 field name */
    char value[256];       /*  12 value as text, empty when the object has no attribute record */
    int  width;            /* 268 field attribute 2 */
    int  type;             /* 272 'C' (67) or 'N' (78); a 'C' field with decimals reads 'N' */
    int  decimals;         /* 276 field attribute 3 */
} pipAttributeInfoStruct;                                    /* 280 */

#pragma pack(pop)

LUMETRA_STATIC_ASSERT(sizeof(pipObjectFileInfoStruct) == 304, "pipObjectFileInfoStruct");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, header) == 0, "header");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, maxRecordSize) == 256, "maxRecordSize");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, maxPoints) == 260, "maxPoints");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, maxParts) == 264, "maxParts");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, minX) == 268, "minX");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, minY) == 272, "minY");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, maxX) == 276, "maxX");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, maxY) == 280, "maxY");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, coordType) == 284, "coordType");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, flags) == 288, "flags");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, numPointObjects) == 292, "numPointObjects");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, numLineObjects) == 296, "numLineObjects");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileInfoStruct, numRegionObjects) == 300, "numRegionObjects");

LUMETRA_STATIC_ASSERT(sizeof(pipObjectFileExtraInfoStruct) == 328, "pipObjectFileExtraInfoStruct");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileExtraInfoStruct, text1) == 0, "text1");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileExtraInfoStruct, text2) == 256, "text2");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileExtraInfoStruct, creationTime) == 288, "creationTime");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileExtraInfoStruct, blockVersion) == 320, "blockVersion");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectFileExtraInfoStruct, code) == 324, "code");

LUMETRA_STATIC_ASSERT(sizeof(pipObjectInfoStruct) == 312, "pipObjectInfoStruct");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, name) == 0, "name");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, name2) == 128, "name2");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, type) == 256, "type");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, id) == 260, "id");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, x) == 264, "x");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, y) == 268, "y");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, minX) == 272, "minX");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, minY) == 276, "minY");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, maxX) == 280, "maxX");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, maxY) == 284, "maxY");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, penPattern) == 288, "penPattern");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, penWidth) == 292, "penWidth");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, penColor) == 296, "penColor");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, brushPattern) == 300, "brushPattern");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, brushForeground) == 304, "brushForeground");
LUMETRA_STATIC_ASSERT(offsetof(pipObjectInfoStruct, brushBackground) == 308, "brushBackground");

LUMETRA_STATIC_ASSERT(sizeof(pipAttributeInfoStruct) == 280, "pipAttributeInfoStruct");
LUMETRA_STATIC_ASSERT(offsetof(pipAttributeInfoStruct, name) == 0, "name");
LUMETRA_STATIC_ASSERT(offsetof(pipAttributeInfoStruct, value) == 12, "value");
LUMETRA_STATIC_ASSERT(offsetof(pipAttributeInfoStruct, width) == 268, "width");
LUMETRA_STATIC_ASSERT(offsetof(pipAttributeInfoStruct, type) == 272, "type");
LUMETRA_STATIC_ASSERT(offsetof(pipAttributeInfoStruct, decimals) == 276, "decimals");

#ifdef __cplusplus
extern "C" {
#endif

/* ---- library frame ---- */
LUMETRA_API int pipInit(int reserved, const char* reservedText);              /* [-]  library handle (kind 1); 0 on failure. Arguments unused. */
LUMETRA_API int pipTerm(int libraryHandle);                                   /* [1]  1; -1. Services opened through it stay open. */
LUMETRA_API int pipErrorGet(int libraryHandle, char* message, char* detail);  /* [1]  recorded code (-1 none); 109 with fixed texts when not a library handle; -1 exception. Buffers >= 256. */
LUMETRA_API int pipErrorShow(int libraryHandle, short mode);                  /* [1]  previous display mode; 0 when not a library handle */
LUMETRA_API int pipGetVersion(char* buffer);                                  /* [-]  1; writes "Lumetra+ v41.04" (16 bytes) */
LUMETRA_API int pipDistance(int x1, int y1, int x2, int y2, int units, int* bearing); /* [-] distance, truncated; -1 on a math fault. units 1 = feet. bearing may be NULL. */

/* ---- region overlap check ---- */
LUMETRA_API int pipInitializeOverlapCheck(int libraryHandle, int* checkHandle); /* [1->6] 1; -1 (handle 0) */
LUMETRA_API int pipAddRegionAPolygon(int checkHandle, int numPoints, const int* xy); /* [6] 1; -1 */
LUMETRA_API int pipAddRegionBPolygon(int checkHandle, int numPoints, const int* xy); /* [6] 1; -1 */
LUMETRA_API int pipClearRegionAPolygon(int checkHandle);                      /* [6]  1; -1 */
LUMETRA_API int pipClearRegionBPolygon(int checkHandle);                      /* [6]  1; -1 */
LUMETRA_API int pipClearRegionAllPolygon(int checkHandle);                    /* [6]  1; -1 */
LUMETRA_API int pipCheckForRegionOverlap(int checkHandle);                    /* [6]  PIP_OVERLAP_* (2..6); -1 */
LUMETRA_API int pipCheckForRegionOverlapEx(int checkHandle, int resolution, double* percent); /* [6] 2..6; -1 */
LUMETRA_API int pipTerminateOverlapCheck(int checkHandle);                    /* [6]  1; -1 */

/* ---- radial point search ----
 * An in-memory set of named points (a k-d tree) searched by rectangle, by
 * radius and for the k nearest.  mode PIP_RAD_GEOGRAPHIC: coordinates in
 * millionths of a degree, distances in feet; any other mode: plain units.
 * Each find-first replaces the search under way; pipRadFindNext continues it
 * and answers 0 when it is exhausted (after which it records code 100).
 * Rectangle and radius answers come in tree order, nearest answers by
 * distance.  Outputs: x and y (NULL = not wanted), name cut to
 * nameLength - 1 characters and terminated. */
LUMETRA_API int pipRadInit(int libraryHandle, int mode, int* radHandle);      /* [1->5] 1; -1 */
LUMETRA_API int pipRadTerm(int radHandle);                                    /* [5]  1; -1 */
LUMETRA_API int pipRadInsertPoint(int radHandle, int x, int y, const char* name); /* [5] 1; -1 */
LUMETRA_API int pipRadLoadPoints(int radHandle, int objectFileHandle);        /* [5,3] 1; -1 (no point records or an insertion failed) */
LUMETRA_API int pipRadFindFirstInRect(int radHandle, int x1, int y1, int x2, int y2, int* x, int* y, char* name, int nameLength); /* [5] 1; 0; -1 */
LUMETRA_API int pipRadFindFirstInRadius(int radHandle, int cx, int cy, int radius, int* x, int* y, char* name, int nameLength);  /* [5] 1; 0; -1 */
LUMETRA_API int pipRadFindFirstNearest(int radHandle, int cx, int cy, int count, int* x, int* y, char* name, int nameLength);    /* [5] 1; 0; -1 */
LUMETRA_API int pipRadFindNext(int radHandle, int* x, int* y, char* name, int nameLength); /* [5] 1; 0; -1 (no search under way) */
/* Handle-less workers: same work and results on the object itself (no registration, no lookup). */
LUMETRA_API int pipRadInitIntern(pipLibraryContext* library, int mode, pipRadContext** search); /* [-] *search NULL on failure */
LUMETRA_API int pipRadTermIntern(pipRadContext* search);
LUMETRA_API int pipRadInsertPointIntern(pipRadContext* search, int x, int y, const char* name);
LUMETRA_API int pipRadLoadPointsIntern(pipRadContext* search, pipObjectFileObject* objectFile);
LUMETRA_API int pipRadFindFirstInRectIntern(pipRadContext* search, int x1, int y1, int x2, int y2, int* x, int* y, char* name, int nameLength);
LUMETRA_API int pipRadFindFirstInRadiusIntern(pipRadContext* search, int cx, int cy, int radius, int* x, int* y, char* name, int nameLength);
LUMETRA_API int pipRadFindFirstNearestIntern(pipRadContext* search, int cx, int cy, int count, int* x, int* y, char* name, int nameLength);
LUMETRA_API int pipRadFindNextIntern(pipRadContext* search, int* x, int* y, char* name, int nameLength);

/* ---- import ---- */
LUMETRA_API int pipImportInit(int libraryHandle, const char* fileName, const pipObjectFileInfoStruct* info, int* importHandle); /* [1->2] 1; -1 (106 on limits) */
LUMETRA_API int pipImportInitEx(int libraryHandle, const char* fileName, const pipObjectFileInfoStruct* info, short code, const char* text1, const char* text2, int* importHandle); /* [1->2] 1; -1 */
LUMETRA_API int pipImportTXBInit(int libraryHandle, const char* fileName, pipObjectFileInfoStruct* info, int* importHandle); /* [1->2] 1; -1. Writes the tax text (when empty) and flag bit 4 into *info. */
LUMETRA_API int pipImportRead(int importHandle, char* name, int nameLength, int* percent, int* line); /* [2] 1 object, 2 skipped, 0 end; -1 */
LUMETRA_API int pipImportInsert(int importHandle, pipObjectInfoStruct* info, const int* points, const int* partCounts, int numParts); /* [2] 1; -1. In/out: see below. */
LUMETRA_API int pipImportClose(int importHandle);                             /* [2]  1; -1 */
LUMETRA_API int pipImportTerm(int importHandle, int commit);                  /* [2]  1; -1. commit 0 deletes the output. */
LUMETRA_API int pipImportOpenBNA(int importHandle, const char* fileName, int namePosition);     /* [2] 1; -1. namePosition 1..3 */
LUMETRA_API int pipImportOpenMIF(int importHandle, const char* fileName, const char* nameField); /* [2] 1; -1. nameField NULL warns, "" = column 1 */
LUMETRA_API int pipImportOpenMIF2(int importHandle, const char* fileName, const char* nameField, const char* nameField2); /* [2] 1; -1 */
LUMETRA_API int pipImportOpenSHP(int importHandle, const char* fileName, const char* nameColumn, const char* nameColumn2);   /* [2] 1; -1 */
LUMETRA_API int pipImportOpenShape(int importHandle, const char* fileName, const char* nameColumn, const char* nameColumn2); /* [2] alias of pipImportOpenSHP */
LUMETRA_API int pipImportOpenTAB(int importHandle, const char* fileName, const char* nameColumn, const char* nameColumn2);   /* [2] 1; -1 */

/* ---- object files ---- */
LUMETRA_API int pipObjectFileOpen(int libraryHandle, const char* fileName, int mode, int* objectFileHandle); /* [1->3] 1; -1 (handle 0 on code 103) */
LUMETRA_API int pipObjectFileClose(int objectFileHandle);                     /* [3]  1; -1 */
LUMETRA_API int pipObjectFileCloseEx(const int* objectFileHandle);            /* [3]  of *objectFileHandle; *objectFileHandle unchanged; NULL -> -1 */
LUMETRA_API int pipObjectFileQuery(int libraryHandle, const char* fileName, pipObjectFileInfoStruct* info); /* [1] 1; -1 */
LUMETRA_API int pipObjectFileQueryIntern(pipLibraryContext* library, const char* fileName, pipObjectFileInfoStruct* info); /* [-] as pipObjectFileQuery */
LUMETRA_API int pipObjectHandleFileQuery(int objectFileHandle, pipObjectFileInfoStruct* info);        /* [3] 1; -1 */
LUMETRA_API int pipObjectHandleFileQueryEx(int objectFileHandle, pipObjectFileExtraInfoStruct* info); /* [3] 1; -1 no extension block (structure zeroed) */
LUMETRA_API int pipObjectGetInfo(int objectFileHandle, pipObjectInfoStruct* info); /* [3] 1; -1 no current object (code 100) */
LUMETRA_API int pipObjectGetHandle64(int objectFileHandle, int* low, int* high); /* [3] 1; -1 (halves written whenever a search exists) */
LUMETRA_API int pipObjectGetHandle(int objectFileHandle);                     /* [3]  low half of the current object handle; -1 */
LUMETRA_API int pipObjectFileGoto64(int objectFileHandle, int low, int high); /* [3]  1; -1 */
LUMETRA_API int pipObjectFileGoto(int objectFileHandle, int low);             /* [3]  pipObjectFileGoto64(h, low, 0) */
LUMETRA_API int pipObjectGetSearchDistance(int objectFileHandle);             /* [3]  feet; -1 */
LUMETRA_API int pipObjectSetSearchDistance(int objectFileHandle, int feet);   /* [3]  1 stored; -1 clamped or bad handle */
LUMETRA_API int pipObjectIsTaxFile(int objectFileHandle);                     /* [3]  1 tax magic; -1 otherwise */

/* ---- ---- */
LUMETRA_API int pipPointInPoly(int objectFileHandle, int x, int y);           /* [3]  1 inside or on boundary; 0 outside or not a region; -1 no current object */

/* ---- containing search ---- */
LUMETRA_API int pipObjectFindFirstContaining(int objectFileHandle, int x, int y, int radius, char* name, int nameLength); /* [3] 1 inside, 2 near, 3 both; 0 none; -1 */
LUMETRA_API int pipObjectFindNext(int objectFileHandle, char* name, int nameLength); /* [3] continues the current search (or the ranked list); 0 no more; -1 */

/* ---- rectangle, name, nearest, polygon searches; distances; coordinates ---- */
LUMETRA_API int pipObjectFindFirstRect(int objectFileHandle, int x1, int y1, int x2, int y2, char* name, int nameLength); /* [3] 1; 0; -1. Corners in any order. */
LUMETRA_API int pipObjectFindFirstName(int objectFileHandle, const char* searchName, char* name, int nameLength); /* [3] 1; 0; -1. "*" ends a prefix. */
LUMETRA_API int pipObjectFindFirstNearest(int objectFileHandle, int x, int y, int count, char* name, int nameLength); /* [3] 1; 0; -1 (count > 65536) */
LUMETRA_API int pipObjectFindFirstNearestEx(int objectFileHandle, int x, int y, int count, const char* criteria, char* name, int nameLength); /* [3] 1; 0; -1 */
LUMETRA_API int pipObjectFindFirstPolygon(int objectFileHandle, const int* points, const int* partCounts, int numParts, char* name, int nameLength); /* [3] 3..6; 0; -1. points: x,y pairs of all parts. */
LUMETRA_API int pipObjectFindFirstPolygonEx(int objectFileHandle, const int* points, const int* partCounts, int numParts, char* name, int nameLength, int resolution, double* percent); /* [3] as above, with percent */
LUMETRA_API int pipObjectFindNextEx(int objectFileHandle, char* name, int nameLength, int resolution, double* percent); /* [3] next overlap code; 0; -1 */
LUMETRA_API int pipObjectDistanceToBorder(int objectFileHandle, int x, int y); /* [3] distance >= 0; -1 */
LUMETRA_API int pipObjectDistanceToBorderEx(int objectFileHandle, int x, int y, int* nearestX, int* nearestY); /* [3] distance and nearest border point (both outputs required); -1 */
LUMETRA_API int pipObjectGetNumCoords(int objectFileHandle, int* numPoints, int* numParts); /* [3] 1; -1 */
LUMETRA_API int pipObjectGetCoords(int objectFileHandle, int* points, int pointCapacity, int* partCounts, int partCapacity, int* numParts); /* [3] 1; -1 (103 when too small). Capacities count points (2 ints each) and parts. */

/* ---- ZIP+4 centroid search ---- */
LUMETRA_API int pipZip4FileOpen(int libraryHandle, const char* fileName, int* zip4Handle); /* [1->4] 1; -1 (handle 0) */
LUMETRA_API int pipZip4FileClose(int zip4Handle);                             /* [4]  1; -1 */
LUMETRA_API int pipZip4FindFirst(int zip4Handle, int objectFileHandle, int distance, char* zip4, char* recordType, char* name, int nameLength); /* [4,3] 1; 0; -1. zip4 >= 10, recordType >= 2 bytes. */
LUMETRA_API int pipZip4FindNext(int zip4Handle, char* zip4, char* recordType, char* name, int nameLength); /* [4] 1; 0; -1 */

/* ---- ranked containing search ---- */
LUMETRA_API int pipObjectFindFirstContainingEx(int objectFileHandle, int x, int y, int maxDistance, char* name, int nameLength); /* [3] flags 1, 2 or 3 of the best entry; 0; -1 */

/* ---- export ---- */
LUMETRA_API int pipExportInitBNA(int libraryHandle, const char* fileName, int* exportHandle); /* [1->7] 1; -1 */
LUMETRA_API int pipExportInitMIF(int libraryHandle, const char* fileName, int* exportHandle); /* [1->7] 1; -1 */
LUMETRA_API int pipExportInitSHP(int libraryHandle, const char* fileName, int* exportHandle, int objectType);   /* [1->7] 1; -1. objectType PIP_OBJECT_* accepted */
LUMETRA_API int pipExportInitShape(int libraryHandle, const char* fileName, int* exportHandle, int objectType); /* [1->7] alias of pipExportInitSHP */
LUMETRA_API int pipExportInitTAB(int libraryHandle, const char* fileName, int* exportHandle, int typeCode);     /* [1->7] 1; -1. typeCode: initial TAB type code */
LUMETRA_API int pipExportOpen(int exportHandle, const char* objectFileName, int mode); /* [7] 1; -1 (105 for NULL name) */
LUMETRA_API int pipExportWrite(int exportHandle, char* name, int nameLength, int* percent, int* count); /* [7] 1; -1 (also when nothing is left) */
LUMETRA_API int pipExportInsert(int exportHandle, const char* name, const pipObjectInfoStruct* info, const int* points, const int* partCounts, int count); /* [7] 1; -1 */
LUMETRA_API int pipExportClose(int exportHandle);                             /* [7]  1; -1 */
LUMETRA_API int pipExportTerm(int exportHandle, int commit);                  /* [7]  1; -1. commit 0 deletes the output. */

/* ---- object file validation ---- */
LUMETRA_API int pipObjectFileValidate(int libraryHandle, const char* fileName); /* [1] 1 valid; -1 */

/* ---- attributes (field numbers from 0, the hidden record-id field skipped) ---- */
LUMETRA_API int pipObjectGetAttributeCount(int objectFileHandle, int* count); /* [3] 1; -1 (count 0) without attribute file */
LUMETRA_API int pipObjectGetAttributeNameByNumber(int objectFileHandle, int fieldNumber, char* name, int nameLength); /* [3] 1; -1 (buffer empty) */
LUMETRA_API int pipObjectGetAttributeInfoByName(int objectFileHandle, const char* fieldName, pipAttributeInfoStruct* info); /* [3] 1; 0 no attribute record; -1 */
LUMETRA_API int pipObjectGetAttributeInfoByNumber(int objectFileHandle, int fieldNumber, pipAttributeInfoStruct* info); /* [3] 1; 0; -1 */
LUMETRA_API int pipObjectValidateFilterCriteria(int objectFileHandle, const char* criteria); /* [3] 1 valid; -1 (code 100 with the parse message) */

/* ---- market-area polygons ----
 * A service (handle kind 8) holding stores, their customers and up to three
 * output object files; the generate calls write one region per store and
 * level ("PMA <store> PR" ...).  Output names get ".zon" appended unless
 * they end so; equal names share one file.  pipPmaTerm with commit keeps
 * the files that received objects; without commit none is kept. */
LUMETRA_API int pipPmaInit(int libraryHandle, int* pmaHandle);               /* [1->8] 1; -1 */
LUMETRA_API int pipPmaTerm(int pmaHandle, int commit);                        /* [8]  1; -1 (handle freed all the same) */
LUMETRA_API int pipPmaAddStore(int pmaHandle, int x, int y, const char* name); /* [8] 1; -1 */
LUMETRA_API int pipPmaAddCustomer(int pmaHandle, int x, int y, const char* storeName, double weight); /* [8] 1; -1 */
LUMETRA_API int pipPmaClearCustomers(int pmaHandle);                          /* [8]  1; -1 */
LUMETRA_API int pipPmaClearStores(int pmaHandle);                             /* [8]  1; -1 */
LUMETRA_API int pipPmaSetOutputFiles(int pmaHandle, int coordinateType, const char* primary, const char* secondary, const char* tertiary); /* [8] 1; the failing open's result */
LUMETRA_API int pipPmaSetProgressFunction(int pmaHandle, pipPmaProgressCallback callback); /* [8] 1; -1. NULL removes it. */
LUMETRA_API int pipPmaGenerateRingPolygons(int pmaHandle, int segments, int geographic, int fullPolygons, double r1, double r2, double r3); /* [8] 1; -1 */
LUMETRA_API int pipPmaGenerateNonoverlappingRingPolygons(int pmaHandle, int segments, int geographic, int fullPolygons, double r1, double r2, double r3); /* [8] 1; -1 */
LUMETRA_API int pipPmaGenerateConvexHullPolygons(int pmaHandle, int countMode, double maxDistance, int geographic, int fullPolygons, double p1, double p2, double p3); /* [8] 1; -1 */
/* Handle-less workers on the service object itself. */
LUMETRA_API int pipPmaInitIntern(pipLibraryContext* library, CpmaGlobalStoreList** service); /* [-] *service NULL on failure */
LUMETRA_API int pipPmaTermIntern(CpmaGlobalStoreList* service, int commit);  /* destroys it only when closing succeeded */
LUMETRA_API int pipPmaAddStoreIntern(CpmaGlobalStoreList* service, int x, int y, const char* name);
LUMETRA_API int pipPmaAddCustomerIntern(CpmaGlobalStoreList* service, int x, int y, const char* storeName, double weight);
LUMETRA_API int pipPmaClearCustomersIntern(CpmaGlobalStoreList* service);
LUMETRA_API int pipPmaClearStoresIntern(CpmaGlobalStoreList* service);
LUMETRA_API int pipPmaSetOutputFilesIntern(CpmaGlobalStoreList* service, int coordinateType, const char* primary, const char* secondary, const char* tertiary);
LUMETRA_API int pipPmaSetProgressFunctionIntern(CpmaGlobalStoreList* service, pipPmaProgressCallback callback);
LUMETRA_API int pipPmaGenerateRingPolygonsIntern(CpmaGlobalStoreList* service, int segments, int geographic, int fullPolygons, double r1, double r2, double r3);
LUMETRA_API int pipPmaGenerateNonoverlappingRingPolygonsIntern(CpmaGlobalStoreList* service, int segments, int geographic, int fullPolygons, double r1, double r2, double r3);
LUMETRA_API int pipPmaGenerateConvexHullPolygonsIntern(CpmaGlobalStoreList* service, int countMode, double maxDistance, int geographic, int fullPolygons, double p1, double p2, double p3);

#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_PIP_H */
