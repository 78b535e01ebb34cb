/* Links against an installed liblumetra and makes a few frame calls. */
#include <lumetra/pip.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char version[PIP_VERSION_BUFFER_SIZE];
  int lib = pipInit(0, NULL);
  int bearing = -1;
  if (lib <= 0 || pipGetVersion(version) != 1 || strcmp(version, PIP_VERSION_TEXT) != 0) {
    fprintf(stderr, "consumer: library did not start\n");
    return 1;
  }
  if (pipDistance(0, 0, 0, 1000000, PIP_UNITS_FEET, &bearing) != 364320 || bearing != 0) {
    fprintf(stderr, "consumer: wrong distance\n");
    return 1;
  }
  pipTerm(lib);
  printf("consumer: %s ok\n", version);
  return 0;
}
