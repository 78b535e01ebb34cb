// The commands of the lumetra tool.  Each takes the arguments after its
// name, prints its results to standard output and returns the exit status
// (kExitOk, kExitNotFound); failures are thrown as CliError/UsageError and
// turned into status 2 by main.  Each prints its help text for --help.
#ifndef LUMETRA_TOOLS_LUMETRA_COMMANDS_H
#define LUMETRA_TOOLS_LUMETRA_COMMANDS_H

namespace lumetra_cli {

struct Command {
  const char* name;
  const char* summary;  // one line for the command list
  const char* help;     // full usage text
  int (*run)(int argc, char** argv);
};

// Every command, in the order the usage text lists them; ends with a
// null name.
const Command* Commands();

int RunImport(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunLookup(int argc, char** argv);
int RunNearest(int argc, char** argv);
int RunFind(int argc, char** argv);
int RunDistance(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunValidate(int argc, char** argv);
int RunRender(int argc, char** argv);
int RunRings(int argc, char** argv);
int RunThiessen(int argc, char** argv);
int RunHulls(int argc, char** argv);
// lumetra nearest --points: the in-memory mode of nearest (cmd_nearest_points.cpp).
bool WantsPointsMode(int argc, char** argv);
int RunNearestPoints(int argc, char** argv);
int RunZip4(int argc, char** argv);

extern const char kImportHelp[];
extern const char kInfoHelp[];
extern const char kLookupHelp[];
extern const char kNearestHelp[];
extern const char kFindHelp[];
extern const char kDistanceHelp[];
extern const char kExportHelp[];
extern const char kValidateHelp[];
extern const char kRenderHelp[];
extern const char kRingsHelp[];
extern const char kThiessenHelp[];
extern const char kHullsHelp[];
extern const char kZip4Help[];

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_COMMANDS_H
