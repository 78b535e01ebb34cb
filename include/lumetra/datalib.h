/* Lumetra: data library files (".dld") -- the Dl* C interface.
 *
 * A data library file holds records found by a 12-character key, text ('C',
 * compared without regard to case) or numeric ('N', compared as decimal
 * numbers), and a list of named fields, each text ('C') or numeric ('N'),
 * with descriptions and optional value descriptions.
 *
 * Conventions
 *  - DlInit returns a context; DlTerm ends it and closes every file still
 *    open in it (their DlDataFile and DlField pointers then dangle).
 *    DlFileOpen returns a file owned by its context; DlFileClose ends it.
 *    DlField pointers belong to their file and live as long as it.
 *  - Results: 1 success or found, 0 failure or not found, or the failure
 *    value stated beside a function.  A null argument that is required
 *    records code 100 "Null value passed." in a process-wide record, read
 *    with DlErrorGet(NULL, ...); every other failure is recorded in the
 *    file's context and read with DlErrorGet(context, ...).  The texts are
 *    in the detail (the message of code 100 is empty).
 *  - File names: DlFileOpen joins a relative name to the context's data
 *    directory (an empty directory leaves it as given) and adds ".dld" when
 *    the name's last component has no extension.
 *  - Searches: a successful search positions every field of the file on
 *    the record found; a failed one leaves every field without a record,
 *    and reading it then records "Must perform a valid DlFileSearch before
 *    retrieving data.".  DlFileSearchNext / DlFileSearchNextInt take the
 *    same key again and continue behind the record last found (0 when the
 *    file stands on no record).
 *  - Buffers are caller-owned.  DlFieldGetString writes at most size - 1
 *    characters and a terminator.  The attribute calls (DlFieldGetAttribute,
 *    DlFieldGetValueAttribute, DlFileGetAttribute) copy at most size
 *    characters and a terminator: their buffer holds size + 1 bytes.
 *    DlErrorGet's buffers hold DL_ERROR_TEXT_SIZE bytes.
 *  - DlFieldGetString formats: NULL or "" the value text (numbers in
 *    decimal, as stored); beginning with "LDES" (any case) the long
 *    description; containing '%' a printf format with one conversion applied
 *    to the value (d i o u x X c the number; e f g and their kin the number
 *    divided by 10^decimals; s the value text); anything else (e.g. "SDESC")
 *    the short description.  Descriptions of a text field are those of the
 *    value record whose value text equals (without regard to case) the text
 *    the caller put in the buffer; to describe the current record, first
 *    read its value into the same buffer with a NULL format.  A numeric
 *    field's descriptions are those of its first value record.
 *  - A context, its files and builders are used by one thread at a time.
 *
 * Writing (DlBuilder*; failures are recorded in the process-wide record)
 *  - DlBuilderCreate creates fileName as given (no extension added); keyType
 *    'C' or 'N'; keyFieldId names the field holding the keys; stamp (NULL =
 *    empty, at most 255 characters) becomes file attribute 3.
 *  - DlBuilderAddField: before the first record; fields keep their order;
 *    identifiers of 1 to 12 characters, unique without regard to case;
 *    width 1 to 255; decimals 0 to 9; NULL texts are empty.
 *  - DlBuilderAddValue appends a value description to a field.
 *  - DlBuilderAddRecord: one text per field.  'C' values are cut to the
 *    field's width; 'N' values are decimal texts (blank = 0) stored scaled
 *    by 10^decimals, rounded half away from zero; other texts are refused.
 *    With key type 'N' the key field's text must be a whole number of at
 *    most 12 characters.  Records come in any order; equal keys keep the
 *    order in which they were added.
 *  - DlBuilderFinish writes the file and frees the builder; on failure no
 *    file is left.  The tree is built with scratch files in the current
 *    directory.  DlBuilderAbort frees the builder and removes the file.
 */
#ifndef LUMETRA_DATALIB_H
#define LUMETRA_DATALIB_H

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

#define DL_VERSION_TEXT           "Varnisk v41.04"
#define DL_ERROR_TEXT_SIZE        256   /* each DlErrorGet buffer */
#define DL_FIELD_ATTR_ID          0     /* DlFieldGetAttribute codes: 0, 1, 5, 7, 8 text; 2, 3, 4, 9, 10 number */
#define DL_FIELD_ATTR_SECTION     1
#define DL_FIELD_ATTR_WIDTH       2
#define DL_FIELD_ATTR_DECIMALS    3
#define DL_FIELD_ATTR_VALUE_COUNT 9
#define DL_FIELD_ATTR_TYPE        10    /* 'C' or 'N' */
#define DL_FILE_ATTR_NUM_FIELDS   1     /* DlFileGetAttribute codes: 0, 1, 2, 5 number; 3, 4 text */
#define DL_FILE_ATTR_STAMP        3
#define DL_VALUE_TEXT             0     /* DlFieldGetValueAttribute "which" */
#define DL_VALUE_SHORT_DESC       1
#define DL_VALUE_LONG_DESC        2

typedef struct DlContext  DlContext;    /* opaque: returned by DlInit */
typedef struct DlDataFile DlDataFile;   /* opaque: one open data library file */
typedef struct DlField    DlField;      /* opaque: one field of a data file */

#ifdef __cplusplus
extern "C" {
#endif
LUMETRA_API DlContext*  DlInit(const char* dataDirectory);                  /* context; NULL */
LUMETRA_API int         DlTerm(DlContext* context);                         /* 1 */
LUMETRA_API DlDataFile* DlFileOpen(DlContext* context, const char* fileName); /* file; NULL. ".dld" added without extension */
LUMETRA_API int         DlFileClose(DlDataFile* file);                      /* 1 */
LUMETRA_API int         DlFileSearch(DlDataFile* file, const char* key);    /* 1 found; 0 */
LUMETRA_API int         DlFileSearchInt(DlDataFile* file, int key);         /* 1; 0 (key 0 counts as null) */
LUMETRA_API int         DlFileSearchNext(DlDataFile* file, const char* key); /* 1; 0 */
LUMETRA_API int         DlFileSearchNextInt(DlDataFile* file, int key);     /* 1; 0 */
LUMETRA_API int         DlFileNumFields(DlDataFile* file);                  /* count; -1 NULL */
LUMETRA_API DlField*    DlFieldGetN(DlDataFile* file, int n);               /* field n from 0; NULL */
LUMETRA_API DlField*    DlFieldGet(DlDataFile* file, const char* identifier); /* case-insensitive; NULL */
LUMETRA_API int         DlFieldGetString(DlField* field, const char* format, char* buffer, int size); /* 1; 0 */
LUMETRA_API int         DlFieldGetNum(DlField* field);                      /* value; -1 text field; 0 no valid search */
LUMETRA_API int         DlFieldGetAttribute(DlField* field, int code, char* buffer, int size); /* number, or 1 after a text copy; -1 */
LUMETRA_API int         DlFieldGetValueAttribute(DlField* field, int index, int which, char* buffer, int size); /* 1; -1 */
LUMETRA_API int         DlFileGetAttribute(DlDataFile* file, int code, char* buffer, int size); /* number, or 1 after a text copy; -1 */
LUMETRA_API int         DlErrorGet(DlContext* context, char* message, char* detail); /* last code; buffers optional (256 bytes) */
LUMETRA_API int         DlGetVersion(char* buffer);                         /* 1; writes "Varnisk v41.04" */

/* ---- Writing data library files (an addition: the readers above open what these write) ---- */
typedef struct DlBuilder DlBuilder;     /* opaque: one data library file being written */
LUMETRA_API DlBuilder* DlBuilderCreate(const char* fileName, char keyType, const char* keyFieldId, const char* stamp); /* NULL on failure */
LUMETRA_API int        DlBuilderAddField(DlBuilder* builder, const char* fieldId, const char* section, char type,
                                         int width, int decimals, const char* shortDesc, const char* longDesc); /* 1; 0 */
LUMETRA_API int        DlBuilderAddValue(DlBuilder* builder, const char* fieldId, const char* value,
                                         const char* shortDesc, const char* longDesc); /* 1; 0 */
LUMETRA_API int        DlBuilderAddRecord(DlBuilder* builder, const char* const* values); /* 1; 0 */
LUMETRA_API int        DlBuilderFinish(DlBuilder* builder);                 /* 1 written; 0 failed (no file left); frees */
LUMETRA_API void       DlBuilderAbort(DlBuilder* builder);                  /* frees; removes any partial file */
#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_DATALIB_H */
