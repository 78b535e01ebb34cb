/* Lumetra: dBase III tables (.dbf) -- the db* C interface.
 *
 * Conventions
 *  - The caller allocates the dbTable and passes it to every call.  dbOpen
 *    and dbCreate set up the table; dbClose releases everything the library
 *    allocated in it (stream, record buffer and, after dbOpen, the field
 *    array).  After dbCreate the field array stays the caller's.
 *  - Results: 0 (DB_OK) success, 1 (DB_END) no more records, -1 (DB_ERROR)
 *    failure.  A failure prints a short text, ": " and the system error text
 *    to standard error (as perror does) and leaves errno set.
 *  - File names: a name longer than 4 characters ending in ".dbf" is used as
 *    given; any other name gets ".dbf" appended.
 *  - Field values live in dbField.value: text for 'C' and 'D' (NUL
 *    terminated), a double for 'F' and 'N', one character for 'L'.  dbRead
 *    fills them from the current record; dbWrite formats them into a new
 *    record.  Numbers are read and written in the C locale's notation.
 *  - dbClose returns 0, or -1 when the final header or the buffered records
 *    of a created table could not be written (the table is released all the
 *    same).
 *  - A table is used by one thread at a time.
 */
#ifndef LUMETRA_DBF_H
#define LUMETRA_DBF_H

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

#define DB_MODE_READ   0    /* dbTable.mode after dbOpen */
#define DB_MODE_WRITE  1    /* after dbCreate */
#define DB_OK          0    /* results */
#define DB_END         1    /* dbRead / dbReadByRecno past the last record */
#define DB_ERROR     (-1)

#pragma pack(push, 4)
typedef union dbValue {     /* the current value of a field */
    char   text[256];       /* 'C' (length characters + NUL), 'D' (8 characters + NUL) */
    double number;          /* 'F', 'N' */
    char   logical;         /* 'L' */
} dbValue;                                                   /* 256 */

typedef struct dbField {
    int           dataAddress;  /*  0 from the file's descriptor */
    char          format[8];    /*  4 "%<length>.<decimals>f", built by the library */
    char          name[14];     /* 12 up to 11 characters */
    char          type;         /* 26 'C', 'D', 'F', 'L', 'N', 'M' */
    unsigned char length;       /* 27 */
    unsigned char decimals;     /* 28 */
    unsigned char reserved[11]; /* 29 unused, zero */
    dbValue       value;        /* 40 */
} dbField;                                                   /* 296 */

typedef struct dbTable {        /* allocated by the caller */
    unsigned char version;      /*  0 3 when created here */
    unsigned char date[3];      /*  1 year - 1900, month, day */
    int           numRecords;   /*  4 */
    short         headerLength; /*  8 */
    short         recordLength; /* 10 including the deletion byte */
    FILE*         stream;       /* 12 */
    char*         record;       /* 20 record buffer (recordLength + 1 bytes) */
    int           mode;         /* 28 DB_MODE_* */
    int           numFields;    /* 32 set by the caller before dbCreate */
    dbField*      fields;       /* 36 caller's array before dbCreate; the library's after dbOpen */
} dbTable;                                                   /* 44 */
#pragma pack(pop)

LUMETRA_STATIC_ASSERT(sizeof(dbValue) == 256, "dbValue");
LUMETRA_STATIC_ASSERT(sizeof(dbField) == 296, "dbField");
LUMETRA_STATIC_ASSERT(offsetof(dbField, dataAddress) == 0, "dataAddress");
LUMETRA_STATIC_ASSERT(offsetof(dbField, format) == 4, "format");
LUMETRA_STATIC_ASSERT(offsetof(dbField, name) == 12, "name");
LUMETRA_STATIC_ASSERT(offsetof(dbField, type) == 26, "type");
LUMETRA_STATIC_ASSERT(offsetof(dbField, length) == 27, "length");
LUMETRA_STATIC_ASSERT(offsetof(dbField, decimals) == 28, "decimals");
LUMETRA_STATIC_ASSERT(offsetof(dbField, reserved) == 29, "reserved");
LUMETRA_STATIC_ASSERT(offsetof(dbField, value) == 40, "value");
LUMETRA_STATIC_ASSERT(sizeof(dbTable) == 44, "dbTable");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, version) == 0, "version");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, date) == 1, "date");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, numRecords) == 4, "numRecords");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, headerLength) == 8, "headerLength");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, recordLength) == 10, "recordLength");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, stream) == 12, "stream");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, record) == 20, "record");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, mode) == 28, "mode");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, numFields) == 32, "numFields");
LUMETRA_STATIC_ASSERT(offsetof(dbTable, fields) == 36, "fields");

#ifdef __cplusplus
extern "C" {
#endif
LUMETRA_API int dbOpen(dbTable* table, const char* fileName);   /* 0; -1. ".dbf" added unless present */
LUMETRA_API int dbCreate(dbTable* table, const char* fileName); /* 0; -1 */
LUMETRA_API int dbRead(dbTable* table);                         /* 0 record; 1 end; -1 */
LUMETRA_API int dbReadByRecno(dbTable* table, int recno);       /* as dbRead; recno from 0 */
LUMETRA_API int dbWrite(dbTable* table);                        /* 0; -1 */
LUMETRA_API int dbClose(dbTable* table);                        /* 0; NULL ignored */
#ifdef __cplusplus
}
#endif

#endif /* LUMETRA_DBF_H */
