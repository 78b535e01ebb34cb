// lumetra: the command-line front end of the boundary lookup library.
//
//   lumetra COMMAND [ARGS]    (lumetra --help lists the commands)
//
// Exit status: 0 done, 1 nothing found, 2 error.
#include <lumetra/pip.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "cli_common.h"
#include "commands.h"

namespace lumetra_cli {

const Command* Commands() {
  static const Command kCommands[] = {
      {"import", "build an object file (+ attribute file) from .mif, .bna or .shp", kImportHelp,
       RunImport},
      {"info", "header, counts, bounding box, flags and attribute fields", kInfoHelp, RunInfo},
      {"lookup", "objects containing a point, with attributes (or a batch of points)", kLookupHelp,
       RunLookup},
      {"nearest", "the point objects nearest to a point", kNearestHelp, RunNearest},
      {"find", "objects by name or by rectangle", kFindHelp, RunFind},
      {"distance", "distance from a point to the nearest border", kDistanceHelp, RunDistance},
      {"export", "write an object file as .bna, .mif or .shp", kExportHelp, RunExport},
      {"validate", "check that every object of a file can be read", kValidateHelp, RunValidate},
      {"render", "draw the boundaries (and points) as an SVG map", kRenderHelp, RunRender},
      {"rings", "market areas: rings around stores", kRingsHelp, RunRings},
      {"thiessen", "market areas: radius-limited Thiessen cells", kThiessenHelp, RunThiessen},
      {"hulls", "market areas: hulls of the nearest customers", kHullsHelp, RunHulls},
      {"zip4", "build ZIP+4 centroid files; find the ZIP+4 codes in regions", kZip4Help, RunZip4},
      {nullptr, nullptr, nullptr, nullptr},
  };
  return kCommands;
}

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: lumetra COMMAND [ARGS]\n"
      "\n"
      "Geographic boundary lookup on object files.  Coordinates are decimal degrees\n"
      "(longitude first); distances are in feet.\n"
      "\n"
      "commands:\n",
      out);
  for (const Command* c = Commands(); c->name != nullptr; ++c) {
    std::fprintf(out, "  %-9s %s\n", c->name, c->summary);
  }
  std::fputs(
      "\n"
      "'lumetra COMMAND --help' describes a command; 'lumetra --version' prints the\n"
      "library version.  Exit status: 0 done, 1 nothing found, 2 error.\n",
      out);
}

bool WantsHelp(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  }
  return false;
}

int RunCommand(const Command& command, int argc, char** argv) {
  if (WantsHelp(argc, argv)) {
    std::fputs(command.help, stdout);
    return kExitOk;
  }
  try {
    const int status = command.run(argc, argv);
    std::fflush(stdout);
    return status;
  } catch (const UsageError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "lumetra: %s: %s\nTry 'lumetra %s --help'.\n", command.name, e.what(),
                 command.name);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "lumetra: %s: %s\n", command.name, e.what());
  }
  return kExitError;
}

}  // namespace
}  // namespace lumetra_cli

int main(int argc, char** argv) {
  using namespace lumetra_cli;
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitError;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    if (first == "help" && argc > 2) {
      for (const Command* c = Commands(); c->name != nullptr; ++c) {
        if (argv[2] == std::string(c->name)) {
          std::fputs(c->help, stdout);
          return kExitOk;
        }
      }
    }
    PrintUsage(stdout);
    return kExitOk;
  }
  if (first == "--version") {
    char version[PIP_VERSION_BUFFER_SIZE] = {0};
    pipGetVersion(version);
    std::printf("lumetra (%s)\n", version);
    return kExitOk;
  }
  for (const Command* c = Commands(); c->name != nullptr; ++c) {
    if (first == c->name) return RunCommand(*c, argc - 2, argv + 2);
  }
  std::fprintf(stderr, "lumetra: unknown command '%s'\nTry 'lumetra --help'.\n", first.c_str());
  return kExitError;
}
