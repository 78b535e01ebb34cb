// Object files built in a scratch directory for the import tests, read back
// record by record with the object-file decoders, and the read loop of the
// import readers.  Header-only: it needs the import module, which only the
// import tests link.
#ifndef LUMETRA_TESTS_SUPPORT_IO_OBJECT_FILE_H
#define LUMETRA_TESTS_SUPPORT_IO_OBJECT_FILE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "import/import_limits.h"
#include "import/import_read.h"
#include "import/object_file_build.h"
#include "support/object_file_codec.h"

namespace lumetra_test {

using namespace test_objects;

// Calls ReadObject until the end or a failure, at most `limit` times: the
// result of each call (kResultError, -1, for a false return).  `strict`
// also expects result() to be kResultError exactly when a call failed.
inline std::vector<int> ReadAll(ImportRead& reader, int limit = 1000, bool strict = false) {
  std::vector<int> results;
  for (int i = 0; i < limit; ++i) {
    const bool ok = reader.ReadObject();
    if (strict) {
      EXPECT_EQ(ok, reader.result() != ImportRead::kResultError);
    }
    results.push_back(ok ? reader.result() : ImportRead::kResultError);
    if (!ok || reader.result() == ImportRead::kResultEnd) break;
  }
  return results;
}

// The text of a reader failure that names its file and line.
inline std::string ErrorText(const std::string& message, const std::string& file, int line) {
  return "Error: " + message + "\nFile: " + file + "\nLine: " + std::to_string(line);
}

// A build of out.obj in a scratch directory that is also the working
// directory (the tree builder's scratch files go there).
class ObjectFileTest : public ScratchDirTest {
 protected:
  // A fresh build with these limits (the process limits are set to them).
  void MakeBuild(int max_points = 1000, int max_parts = 100, int coord_type = 1, int flags = 0) {
    build_.reset();
    ASSERT_TRUE(lumetra::ImportLimits::CheckAndSet(err_, max_points, max_parts));
    build_ = std::make_unique<ObjectFileBuild>(err_, Path("out.obj").c_str(),
                                               FileInfo(max_points, max_parts, coord_type, flags));
    ASSERT_TRUE(build_->success()) << err_.detail();
    err_.Clear();
  }
  // Finishes the build and reads the file back.
  std::vector<StoredObject> Finish() {
    EXPECT_TRUE(build_->Finish());
    file_ = ReadObjectFile(Path("out.obj"));
    return file_.objects;
  }
  // Reads a reader opened on damaged input to its end: a refused open or a
  // failed read must be reported; nothing else may happen.
  void ExpectCleanEnd(ImportRead& reader) {
    if (!reader.success()) {
      EXPECT_NE(err_.code(), -1);
      return;
    }
    const int last = ReadAll(reader).back();
    EXPECT_TRUE(last == 0 || last == -1);
    if (last == -1) {
      EXPECT_NE(err_.code(), -1);
    }
  }

  pipError err_;
  std::unique_ptr<ObjectFileBuild> build_;
  ObjectFileContents file_;  // set by Finish
};

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_IO_OBJECT_FILE_H
