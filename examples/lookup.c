/* Which region of an object file contains a point, and what are its
 * attributes?  A minimal C program against the lumetra C interface.
 *
 *   example_lookup_c FILE LON LAT
 *
 * FILE is an object file (lumetra import data/us_states.shp us_states.lmb);
 * LON and LAT are decimal degrees.  Exit status: 0 found, 1 not found,
 * 2 error. */
#include <lumetra/pip.h>
#include <stdio.h>
#include <stdlib.h>

/* Decimal degrees to millionths of a degree, truncated toward zero. */
static int ToUnits(const char* text) { return (int)(atof(text) * 1000000.0); }

static int Fail(int lib, const char* what) {
  char message[PIP_ERROR_TEXT_SIZE];
  char detail[PIP_ERROR_TEXT_SIZE];
  pipErrorGet(lib, message, detail);
  fprintf(stderr, "%s: %s %s\n", what, message, detail);
  return 2;
}

/* Prints every attribute field of the current object as "NAME = value". */
static void PrintAttributes(int file) {
  int count = 0;
  int i;
  if (pipObjectGetAttributeCount(file, &count) != PIP_SUCCESS) return; /* no attribute file */
  for (i = 0; i < count; ++i) {
    pipAttributeInfoStruct field;
    if (pipObjectGetAttributeInfoByNumber(file, i, &field) == PIP_SUCCESS) {
      printf("  %.12s = %s\n", field.name, field.value);
    }
  }
}

int main(int argc, char** argv) {
  int lib;
  int file = 0;
  int x, y, result, found = 0;
  char name[PIP_NAME_SIZE];

  if (argc != 4) {
    fprintf(stderr, "usage: %s FILE LON LAT\n", argv[0]);
    return 2;
  }
  x = ToUnits(argv[2]);
  y = ToUnits(argv[3]);

  lib = pipInit(0, NULL);
  if (lib <= 0) return 2;
  if (pipObjectFileOpen(lib, argv[1], PIP_OPEN_CACHE_5MB, &file) != PIP_SUCCESS) {
    int status = Fail(lib, argv[1]);
    pipTerm(lib);
    return status;
  }

  /* Radius 0: only objects that contain the point.  Each hit positions the
   * attribute file on the object's record. */
  result = pipObjectFindFirstContaining(file, x, y, 0, name, sizeof name);
  while (result > 0) {
    printf("%s\n", name);
    PrintAttributes(file);
    ++found;
    result = pipObjectFindNext(file, name, sizeof name);
  }
  if (result < 0) found = -Fail(lib, "lookup");

  pipObjectFileClose(file);
  pipTerm(lib);
  if (found < 0) return 2;
  return found > 0 ? 0 : 1;
}
