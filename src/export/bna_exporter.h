// CspaBNAExporter: writes objects as a BNA boundary file.
//
// Output name: "<name>.bna" when the name contains neither ".BNA" nor
// ".bna", otherwise the name with its last four characters replaced by
// ".bna" (so out gives out.bna and out.BNA gives out.bna).
//
// Records.  Each starts with a header line of quoted names and a count:
//   "<record name>",  "<second name>",  "<name>", <count>
// (without a name argument the third field is left out), followed by one
// line per point, "%11.6f, %11.6f \n" in output units (file units /
// 1,000,000).  The count tells the kind:
//  - a point object writes one record of count 1 per point;
//  - a line writes one record per part, with count -(points of the part);
//  - a region writes one record for all rings, every ring closed (its
//    first written point repeated after its last, as "%11.6f, %11.6f\n"),
//    so count = sum over rings of (points + 1); no marker points.
// Region rings are written starting at the first point (in storage order)
// that equals no other ring's first point, its ring rotated to begin there,
// then the following rings from their own first points, wrapping around.
// A BNA reader closes a ring at the first return to its start and takes a
// return to the object's very first point after a closed ring as a marker,
// so each ring is written from a start that it passes only once, and every
// ring after the first from a start that is neither the object's first
// point nor the previous ring's start: a ring whose own start breaks one of
// these rules is rotated to the next point that keeps them (ReadableStart),
// so the reader gets every ring back whatever the rings' start points.
//
// Ownership: owns its output stream; a file not closed through CloseFiles
// when the exporter goes away is closed and removed.  Thread rule: one
// thread at a time.
#ifndef LUMETRA_EXPORT_BNA_EXPORTER_H
#define LUMETRA_EXPORT_BNA_EXPORTER_H

#include <cstdint>
#include <string>

#include "export/exporter.h"

class CspaBNAExporter : public CspaExporter {
 public:
  // Longest output file name kept, with its terminator.
  static constexpr std::size_t kFileNameSize = 1024;

  explicit CspaBNAExporter(pipLibraryContext& library);
  ~CspaBNAExporter() override;

  int WritePoint(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                 const std::int32_t* part_counts, std::int32_t count) override;
  int WriteLine(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                const std::int32_t* part_counts, std::int32_t count) override;
  int WriteRegion(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  // The same as CreateFiles (BNA has no format options).
  int CreateFilesEx(const char* base_name, long version, const char* delimiter) override;
  int CreateFiles(const char* base_name) override;
  int CloseFiles() override;
  int WriteObject(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  int DeleteFiles() override;

  // The name CreateFiles makes of `base_name`.
  static std::string OutputName(const std::string& base_name);
  const std::string& file_name() const { return file_.path(); }

  // The index, in the point array, of the point a region's record starts
  // at (see the file comment); -1 when every point equals another ring's
  // first point.  `part_counts` must be non-negative.
  static long RegionStartPoint(const std::int32_t* points, const std::int32_t* part_counts,
                               std::int32_t count);
  // The index (in the ring of `n` points) of the first point, going round
  // from `preferred`, that occurs once in the ring and equals neither
  // `avoid1` nor `avoid2` (each an x, y pair, or null); -1 when none does.
  static long ReadableStart(const std::int32_t* ring, long n, long preferred,
                            const std::int32_t* avoid1, const std::int32_t* avoid2);

 private:
  bool WriteHeader(const char* name, const pipObjectInfoStruct& object, long count);
  bool WritePointLine(const std::int32_t* point);

  lumetra::ExportTextFile file_;
  bool closed_ = false;
};

#endif  // LUMETRA_EXPORT_BNA_EXPORTER_H
