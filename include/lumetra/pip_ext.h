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
/* ---- import options ----
 * Opt-in rules for an import handle, beyond the classic readers' rules (which
 * stay the default: without options every reader behaves as pip.h says).
 * Set them after pipImportInit / pipImportInitEx and before the first
 * pipImportOpen* or pipImportInsert; flags is any OR of the PIP_IMPORT_OPT_*
 * values (0 returns to the classic rules).
 *
 * PIP_IMPORT_OPT_FILE_UNITS  one coordinate rule for the whole file, chosen by
 *     the coordinate type given to pipImportInit: in geographic files (type 1)
 *     every coordinate read is taken as degrees and multiplied by 1,000,000;
 *     in other files it is taken as it is. Either way it is truncated toward
 *     zero. Replaces the shapefile reader's per-point degree rule (a vertex
 *     with y = 0 is scaled like every other) and its two-point rule, and makes
 *     the MIF reader take plain units in non-geographic files.
 * PIP_IMPORT_OPT_STRICT  readers refuse what they cannot read instead of
 *     guessing: a coordinate or count that is not a number, a coordinate that
 *     is not finite, outside -180..180 (x) or -90..90 (y) in a geographic file
 *     or beyond the 32-bit range of file units, and (BNA) a line that is
 *     neither blank nor an object header where a header is due. Text readers
 *     report code 100 "Error: <message>\nFile: <file>\nLine: <line>" and
 *     fail; the shapefile reader refuses the record (code 100, "Record <n> of
 *     shapefile <file>: <message>") and reads on at the next call.
 * PIP_IMPORT_OPT_ORDINALS  every object's ordinal (its colour field, the key
 *     of its attribute record) is its 1-based position in the source: the
 *     MID row (skipped objects count), the shapefile record, the BNA object.
 *     MIF Pen and Symbol clauses keep their width, pattern, shape and size
 *     but never replace the ordinal.
 * PIP_IMPORT_OPT_FINE_STAMP  the extension block's creation time (the stamp
 *     an attribute file is matched by) reads "YYYY-MM-DD hh:mm:ss.uuuuuu xxxx":
 *     local time to the microsecond and four random hex digits, so two
 *     imports never share a stamp. Needs pipImportInitEx (without extension
 *     block a file has no stamp).
 * PIP_IMPORT_OPT_SPLIT  a shapefile polygon with more rings or points than
 *     the import limits allow is written as several region objects that each
 *     fit, all with the record's names and ordinal: whole outer rings
 *     (clockwise) with the holes (counter-clockwise rings) inside them, and an
 *     outer ring with more holes or points than fit cut along vertical or
 *     horizontal lines into parts closed along the cut. The even-odd rule
 *     over the objects answers as over the whole polygon (a point on a cut
 *     line inside the polygon lies on the border of both parts; points
 *     where a cut crosses an edge move by at most half a unit). pipImportRead
 *     returns 1 for the record; the file then holds more objects than
 *     pipImportRead reported.
 * [2] 1; -1 (unknown bits: code 106; a reader already opened or an object
 * already inserted: code 100). pipImportGetOptions stores the handle's flags. */
#define PIP_IMPORT_OPT_FILE_UNITS 0x0001
#define PIP_IMPORT_OPT_STRICT 0x0002
#define PIP_IMPORT_OPT_ORDINALS 0x0004
#define PIP_IMPORT_OPT_FINE_STAMP 0x0008
#define PIP_IMPORT_OPT_SPLIT 0x0010
#define PIP_IMPORT_OPT_ALL 0x001F
LUMETRA_API int pipImportSetOptions(int importHandle, int flags);
LUMETRA_API int pipImportGetOptions(int importHandle, int* flags);

/* ---- export options ----
 * Opt-in output of an export handle beyond the classic writers, so that other
 * GIS software reads the output with its coordinate system and its data. Set
 * them after pipExportInit* and before the first object is written (before
 * or after pipExportOpen); flags is any OR of the PIP_EXPORT_OPT_* values.
 *
 * PIP_EXPORT_OPT_ATTRIBUTES  the table (a shapefile's .dbf, the MIF/MID
 *     columns) carries the fields of the exported object file's attribute file,
 *     in their order, with their types, widths and decimals, followed by the
 *     name columns (NAME, NAME2 in shapefiles; Name, Name2 in MIF), each left
 *     out when a field of that name exists. Each object's row holds its
 *     values (empty when it has no attribute record). The columns are those of
 *     the first object file opened; objects given to pipExportInsert have
 *     empty attribute values. Without attribute file: the name columns only.
 *     Shapefile field names are cut to 10 characters and made unique.
 * PIP_EXPORT_OPT_CRS  the output names its coordinate system and text
 *     encoding: for a geographic object file (coordinate type 1) a shapefile
 *     gets a .prj (WGS 84 longitude/latitude in degrees) and a MIF file the
 *     clause CoordSys Earth Projection 1, 104; a shapefile also gets a .cpg
 *     naming UTF-8, or ISO-8859-1 when a text written is not valid UTF-8.
 * BNA output has neither table nor coordinate system and takes no options.
 * [7] 1; -1 (unknown bits: code 106; an object already written, or a format
 * without options: code 100). */
#define PIP_EXPORT_OPT_ATTRIBUTES 0x0001
#define PIP_EXPORT_OPT_CRS 0x0002
#define PIP_EXPORT_OPT_ALL 0x0003
LUMETRA_API int pipExportSetOptions(int exportHandle, int flags);

#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_PIP_EXT_H */
