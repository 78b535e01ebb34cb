/* The C interface's own rate for the Python benchmark: the same points
 * (a file of int32 x, y pairs in millionths of a degree), the same calls the
 * binding makes for lumetra.lookup -- pipObjectFindFirstContaining, and
 * pipObjectGetInfo for the ordinal of a hit -- in one thread.
 *
 *   capi_lookup OBJECT_FILE POINTS.bin ORDINALS_OUT.bin
 *
 * Prints "capi_lookup: N points, S seconds, R points/s" and writes the
 * ordinals (int32, -1 for none) for the benchmark to compare. */
#include <lumetra/pip_ext.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int* ReadPoints(const char* path, long* count) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  *count = ftell(f) / 8;
  fseek(f, 0, SEEK_SET);
  int* xy = malloc((size_t)*count * 8);
  if (xy != NULL && fread(xy, 8, (size_t)*count, f) != (size_t)*count) {
    free(xy);
    xy = NULL;
  }
  fclose(f);
  return xy;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: capi_lookup OBJECT_FILE POINTS.bin ORDINALS_OUT.bin\n");
    return 2;
  }
  long count = 0;
  int* xy = ReadPoints(argv[2], &count);
  int* ordinals = malloc((size_t)count * sizeof(int) + 1);
  int lib = pipInit(0, NULL);
  int file = 0;
  int mode = PIP_OPEN_CACHE_100MB; /* as lumetra.open opens files */
#ifdef PIP_OPEN_MAPPED
  mode |= PIP_OPEN_MAPPED;
#endif
  if (xy == NULL || ordinals == NULL || pipObjectFileOpen(lib, argv[1], mode, &file) != 1) {
    fprintf(stderr, "capi_lookup: cannot read %s or open %s\n", argv[2], argv[1]);
    return 2;
  }
  char name[1];
  pipObjectInfoStruct info;
  const double start = Now();
  for (long i = 0; i < count; ++i) {
    const int result = pipObjectFindFirstContaining(file, xy[2 * i], xy[2 * i + 1], 0, name, 1);
    if (result < 0) return 2;
    ordinals[i] = result > 0 && pipObjectGetInfo(file, &info) == 1 ? info.penColor : -1;
  }
  const double seconds = Now() - start;
  printf("capi_lookup: %ld points, %.3f seconds, %.0f points/s\n", count, seconds, count / seconds);
  FILE* out = fopen(argv[3], "wb");
  if (out == NULL || fwrite(ordinals, sizeof(int), (size_t)count, out) != (size_t)count) return 2;
  fclose(out);
  pipObjectFileClose(file);
  pipTerm(lib);
  free(xy);
  free(ordinals);
  return 0;
}
