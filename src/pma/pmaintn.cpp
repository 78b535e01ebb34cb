// The generate loop of the market-area service: for every store, the
// polygons its open outputs want, written in level order, then progress.
#include <lumetra/pip.h>

#include "frame/error.h"
#include "pma/global_store_list.h"

using Kind = CpmaGlobalStoreList::Kind;

namespace {

// Object-name suffixes by kind and level.  The tertiary hull shares the
// secondary Thiessen cell's suffix.
constexpr const char* kSuffixes[3][3] = {
    {"PR", "SR", "TR"}, {"PT", "ST", "TT"}, {"PC", "SC", "ST"}};

constexpr const char* kMapNames[3] = {"Ring", "Thiessen", "Convex hull"};

int KindIndex(Kind kind) { return static_cast<int>(kind); }

// Whether level `level` has a polygon: the primary always, the others when
// their value exceeds every smaller level's.
bool LevelWanted(const double v[3], int level) {
  if (level == 1) return v[1] > v[0];
  if (level == 2) return v[2] > v[0] && v[2] > v[1];
  return true;
}

}  // namespace

int CpmaGlobalStoreList::BuildLevel(Kind kind, const Generation& g, int i, int level,
                                    CpmaPointList* out) {
  const double value = g.values[level];
  switch (kind) {
    case Kind::kRings:
      return ring_.Build((*this)[i], g.segments, g.geographic, value, out);
    case Kind::kThiessen:
      return thiessen_.Build(i, g.segments, g.geographic, value, out);
    case Kind::kHulls:
      break;
  }
  if (i >= customer_capacity()) return lumetra::kPmaNoCustomerList;
  return hull_.Build((*this)[i], customers(i), g.count_mode, g.max_distance, g.geographic, value,
                     out);
}

int CpmaGlobalStoreList::GenerateStore(Kind kind, const Generation& g, int i) {
  const char* store = name(i);
  if (FindStore(store) != i) {
    error_.ReportF(PIP_ERR_GENERAL, QERR_HERE, "%s map error: cannot find store %s.",
                   kMapNames[KindIndex(kind)], store);
    return -1;
  }
  CpmaPointList polygons[3];
  bool built[3] = {false, false, false};
  const auto ensure = [&](int level) -> int {
    if (built[level]) return 1;
    built[level] = true;
    return BuildLevel(kind, g, i, level, &polygons[level]);
  };
  for (int level = 0; level < 3; ++level) {
    if (!outputs_.IsOpen(level) || !LevelWanted(g.values, level)) continue;
    int result = ensure(level);
    const CpmaPointList* hole = nullptr;
    if (result == 1 && !g.full_polygons && level > 0) {
      // The hole is the next smaller polygon this store has.
      const int inner = level == 2 && !LevelWanted(g.values, 1) ? 0 : level - 1;
      result = ensure(inner);
      hole = &polygons[inner];
    }
    if (result != 1) return lumetra::ReportOperationError(error_, result);
    if (!outputs_.Write(level, store, kSuffixes[KindIndex(kind)][level], polygons[level], hole)) {
      return -1;
    }
  }
  return 1;
}

int CpmaGlobalStoreList::Generate(Kind kind, const Generation& g) {
  if (kind == Kind::kHulls && customer_lists_.empty()) {
    error_.Report(PIP_ERR_GENERAL, "customer list not allocated", QERR_HERE);
    return -1;
  }
  if (kind == Kind::kThiessen) thiessen_.Prepare(this);
  for (int i = 0; i < count(); ++i) {
    if (GenerateStore(kind, g, i) != 1) return -1;
    if (progress_ != nullptr && progress_(count(), i + 1, name(i)) == 0) {
      return lumetra::ReportOperationError(error_, lumetra::kPmaStopped);
    }
  }
  return 1;
}
