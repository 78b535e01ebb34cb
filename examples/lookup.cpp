// Which regions of an object file contain a point, with their attributes --
// the lumetra C interface used from C++, with the handles held by small
// owner classes so they are closed on every path.
//
//   example_lookup_cpp FILE LON LAT
//
// Exit status: 0 found, 1 not found, 2 error.
#include <lumetra/pip.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

// Owns a library handle; its error record explains every failure.
class Library {
 public:
  Library() : handle_(pipInit(0, nullptr)) {
    if (handle_ <= 0) throw std::runtime_error("pipInit failed");
  }
  ~Library() { pipTerm(handle_); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  int handle() const { return handle_; }
  std::string LastError() const {
    char message[PIP_ERROR_TEXT_SIZE] = {0};
    char detail[PIP_ERROR_TEXT_SIZE] = {0};
    pipErrorGet(handle_, message, detail);
    return std::string(message) + " " + detail;
  }

 private:
  int handle_;
};

// Owns an object-file handle.  REQUIRES: the library outlives it.
class ObjectFile {
 public:
  ObjectFile(const Library& library, const std::string& path) : library_(library) {
    if (pipObjectFileOpen(library.handle(), path.c_str(), PIP_OPEN_CACHE_5MB, &handle_) != 1) {
      throw std::runtime_error(path + ": " + library.LastError());
    }
  }
  ~ObjectFile() { pipObjectFileClose(handle_); }
  ObjectFile(const ObjectFile&) = delete;
  ObjectFile& operator=(const ObjectFile&) = delete;

  // Prints each object containing (x, y) (file units) with its attributes;
  // returns how many there were.
  int PrintContaining(int x, int y) const {
    int found = 0;
    char name[PIP_NAME_SIZE];
    int result = pipObjectFindFirstContaining(handle_, x, y, 0, name, sizeof name);
    while (result > 0) {
      std::cout << name << "\n";
      PrintAttributes();  // the attribute file follows the current object
      ++found;
      result = pipObjectFindNext(handle_, name, sizeof name);
    }
    if (result < 0) throw std::runtime_error("lookup: " + library_.LastError());
    return found;
  }

 private:
  void PrintAttributes() const {
    int count = 0;
    if (pipObjectGetAttributeCount(handle_, &count) != 1) return;
    for (int i = 0; i < count; ++i) {
      pipAttributeInfoStruct field{};
      if (pipObjectGetAttributeInfoByNumber(handle_, i, &field) == 1) {
        std::cout << "  " << std::string(field.name, strnlen(field.name, sizeof field.name))
                  << " = " << field.value << "\n";
      }
    }
  }

  const Library& library_;
  int handle_ = 0;
};

// Decimal degrees to millionths of a degree, truncated toward zero.
int ToUnits(const char* text) { return static_cast<int>(std::trunc(std::atof(text) * 1e6)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " FILE LON LAT\n";
    return 2;
  }
  try {
    const Library library;
    const ObjectFile file(library, argv[1]);
    return file.PrintContaining(ToUnits(argv[2]), ToUnits(argv[3])) > 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 2;
  }
}
