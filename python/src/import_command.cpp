#include "import_command.h"

#include <stdexcept>

#include "cli_common.h"
#include "commands.h"
#include "library_error.h"

namespace lumetra_py {

void RunImportCommand(const std::vector<std::string>& args) {
  std::vector<std::string> words = args;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  try {
    lumetra_cli::RunImport(static_cast<int>(words.size()), argv.data());
  } catch (const lumetra_cli::UsageError& e) {
    throw std::invalid_argument(e.what());
  } catch (const lumetra_cli::CliError& e) {
    throw LibraryError("import failed", -1, e.what(), "");
  }
}

}  // namespace lumetra_py
