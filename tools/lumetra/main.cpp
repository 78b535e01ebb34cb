// lumetra: command-line front end of the boundary lookup library.
#include <cstdio>

int main() {
  std::fputs("usage: lumetra COMMAND [ARGS]\n", stderr);
  return 2;
}
