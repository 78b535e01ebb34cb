// Conversion between a dBase field's bytes in a record and the dbField value
// the caller sees.
//
// Numbers ('F', 'N') are written right-aligned in the field's width with the
// field's decimal count and read as decimal text, always in the C locale's
// notation (a '.' decimal point), whatever locale the caller has set.
// Neither direction ever touches bytes outside [dst, dst + field.length) or
// the 256-byte value.
#ifndef LUMETRA_SHAPEFILE_DBF_VALUE_H
#define LUMETRA_SHAPEFILE_DBF_VALUE_H

#include <cstddef>
#include <cstdint>

#include "lumetra/dbf.h"

namespace lumetra {
namespace shapefile {

// Fills field->format with "%<length>.<decimals>f".  When that text does not
// fit the 8-byte format (lengths or decimal counts of three digits), the
// format is left empty; formatting never relies on it.
void BuildNumberFormat(dbField* field);

// Writes the field's value into `dst` (field.length bytes, already zeroed):
//  'C' the text's first length characters, zero padded;
//  'D' the text's first 8 characters;
//  'F', 'N' the number right-aligned with `decimals` decimals; a number too
//      wide for the field is written with fewer decimals, and one too wide
//      even without decimals fills the field with '*';
//  'L' the value's character;
//  any other type leaves the bytes zero.
void PackField(const dbField& field, std::uint8_t* dst);

// Sets field->value from `src` (field->length bytes): 'C' and 'D' as text,
// 'F' and 'N' as a number (blank or unreadable text reads as 0), 'L' as one
// character.  Other types leave the value untouched.
void UnpackField(const std::uint8_t* src, dbField* field);

// The number written by PackField into a field of `width` bytes, exposed for
// tests.  Writes exactly `width` bytes to `dst`.
void FormatNumberForTest(double value, int width, int decimals, char* dst);

// Reads decimal text as PackField's counterpart does.
double ParseNumber(const std::uint8_t* src, std::size_t length);

}  // namespace shapefile
}  // namespace lumetra

#endif  // LUMETRA_SHAPEFILE_DBF_VALUE_H
