// The lumetra tool's import, run in this process: an object file and its
// attribute file built exactly as `lumetra import` builds them.
#ifndef LUMETRA_PYTHON_IMPORT_COMMAND_H
#define LUMETRA_PYTHON_IMPORT_COMMAND_H

#include <string>
#include <vector>

namespace lumetra_py {

// Runs `lumetra import ARGS...` (the words after "import").  Throws
// std::invalid_argument for a usage mistake (an unknown column, a bad
// option value) and LibraryError (code -1, the tool's message, which carries
// the library's error text) when the import fails.
void RunImportCommand(const std::vector<std::string>& args);

}  // namespace lumetra_py

#endif  // LUMETRA_PYTHON_IMPORT_COMMAND_H
