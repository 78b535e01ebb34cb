#include "pma/pma_outputs.h"

#include <lumetra/pip.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/import_limits.h"
#include "import/object_file_build.h"

namespace {

constexpr char kExtension[] = ".zon";

std::string OutputName(const char* name) {
  std::string out = lumetra::CutText(name, CpmaOutputs::kMaxName);
  const std::size_t ext = sizeof kExtension - 1;
  if (!out.empty() && (out.size() < ext || out.compare(out.size() - ext, ext, kExtension) != 0)) {
    out += kExtension;
  }
  return out;
}

}  // namespace

CpmaOutputs::CpmaOutputs(pipError& error) : error_(error) {}

CpmaOutputs::~CpmaOutputs() { Close(false); }

int CpmaOutputs::Open(int coordinate_type, const char* primary, const char* secondary,
                      const char* tertiary) {
  Close(true);
  const char* names[kLevels] = {primary, secondary, tertiary};
  for (int k = 0; k < kLevels; ++k) slots_[static_cast<std::size_t>(k)].name = OutputName(names[k]);
  for (int k = 0; k < kLevels; ++k) {
    Slot& slot = slots_[static_cast<std::size_t>(k)];
    if (slot.name.empty()) continue;
    // A name already open in a slot before this one shares its builder.
    for (int s = 0; s < k && slot.build == nullptr; ++s) {
      if (slots_[static_cast<std::size_t>(s)].name == slot.name) {
        slot.build = slots_[static_cast<std::size_t>(s)].build;
      }
    }
    if (slot.build != nullptr) continue;
    const int result = OpenBuild(k, coordinate_type);
    if (result != 1) {
      std::printf("Error opening %s - err = %d \n", slot.name.c_str(), result);
      std::fflush(stdout);
      Close(false);
      return result;
    }
  }
  return 1;
}

int CpmaOutputs::OpenBuild(int level, int coordinate_type) {
  Slot& slot = slots_[static_cast<std::size_t>(level)];
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = kPointLimit;
  info.maxParts = kPolygonLimit;
  info.coordType = coordinate_type;
  info.flags = coordinate_type == PIP_COORD_GEOGRAPHIC ? PIP_FILE_SEGMENTS : 0;
  if (!lumetra::ImportLimits::CheckAndSet(error_, info.maxPoints, info.maxParts)) return -1;
  auto build = std::make_unique<ObjectFileBuild>(error_, slot.name.c_str(), info);
  if (!build->success()) return -1;
  slot.build = build.get();
  owned_[static_cast<std::size_t>(level)] = std::move(build);
  return 1;
}

int CpmaOutputs::Close(bool commit) {
  int result = 1;
  for (int k = kLevels - 1; k >= 0; --k) {
    std::unique_ptr<ObjectFileBuild>& build = owned_[static_cast<std::size_t>(k)];
    if (build == nullptr) continue;
    int written = 0;
    for (const Slot& slot : slots_) {
      if (slot.build == build.get()) written += slot.written;
    }
    if (commit && written > 0 && !build->Finish()) result = -1;
    build.reset();  // an unfinished file is deleted here
  }
  for (Slot& slot : slots_) slot = Slot();
  return result;
}

bool CpmaOutputs::Write(int level, const char* store, const char* suffix,
                        const CpmaPointList& polygon, const CpmaPointList* hole) {
  if (polygon.empty()) return true;
  Slot& slot = slots_[static_cast<std::size_t>(level)];
  pipObjectInfoStruct info;
  std::memset(&info, 0, sizeof info);
  std::snprintf(info.name, sizeof info.name, "PMA %s %s", store, suffix);
  info.type = PIP_OBJECT_REGION;
  std::vector<std::int32_t> xy;
  polygon.AppendTo(&xy);
  std::int32_t counts[2] = {polygon.count(), 0};
  int parts = 1;
  if (hole != nullptr && !hole->empty()) {
    hole->AppendTo(&xy);
    counts[1] = hole->count();
    parts = 2;
  }
  if (!slot.build->Insert(info, xy.data(), counts, parts)) return false;
  ++slot.written;
  return true;
}
