#include "import/import_read.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/import_options.h"
#include "import/object_file_build.h"
#include "import/polygon_object.h"
#include "storage/iofile.h"

namespace {

constexpr char kDefaultDelimiters[] = " \t\n";

bool IsQuote(char c) { return c == '"' || c == '\''; }

}  // namespace

// ---------------------------------------------------------------------------
// ImportTextFile

ImportTextFile::ImportTextFile(QError& err, const char* file_name, const char* delimiters)
    : err_(err),
      file_name_(lumetra::CutText(file_name, kMaxFileName)),
      delimiters_(delimiters != nullptr ? delimiters : kDefaultDelimiters) {
  if (file_name_.empty()) {
    err_.Set(100, "NULL file name on text input open", QERR_HERE);
    return;
  }
  file_ = std::make_unique<IOFile>(file_name_.c_str(), err_);
  if (file_->failed()) return;
  struct stat st {};
  if (::stat(file_name_.c_str(), &st) == 0) file_size_ = static_cast<std::int64_t>(st.st_size);
  success_ = true;
}

ImportTextFile::~ImportTextFile() = default;

bool ImportTextFile::ReadLine() {
  length_ = 0;
  cursor_ = 0;
  line_[0] = '\0';
  tokens_[0] = '\0';
  if (!success_ || file_ == nullptr) return false;
  const std::int32_t n = file_->ReadLine(line_);
  if (n < 0) {
    line_[0] = '\0';
    if (file_->failed()) success_ = false;
    return false;
  }
  length_ = static_cast<std::size_t>(n);
  std::memcpy(tokens_, line_, length_ + 1);
  return true;
}

std::uint32_t ImportTextFile::line_number() const {
  return file_ != nullptr ? file_->line_number() : 0;
}

std::uint64_t ImportTextFile::position() const {
  return file_ != nullptr ? file_->characters_read() : 0;
}

int ImportTextFile::PercentDone() const {
  if (file_size_ <= 0) return 0;
  const double percent =
      std::ceil(static_cast<double>(position()) * 100.0 / static_cast<double>(file_size_) - 0.5);
  if (percent < 0) return 0;
  if (percent > 100) return 100;
  return static_cast<int>(percent);
}

bool ImportTextFile::failed() const { return !success_ || file_ == nullptr || file_->failed(); }

bool ImportTextFile::at_end() const { return file_ == nullptr || file_->at_end(); }

bool ImportTextFile::IsDelimiter(char c, const char* delimiters) const {
  return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

const char* ImportTextFile::NextToken(const char* delimiters) {
  const char* delims = delimiters != nullptr ? delimiters : delimiters_.c_str();
  std::size_t p = cursor_;
  while (p < length_ && IsDelimiter(tokens_[p], delims)) ++p;
  if (p >= length_) {
    cursor_ = length_;
    return nullptr;
  }
  const std::size_t start = p;
  while (p < length_ && !IsDelimiter(tokens_[p], delims)) ++p;
  if (p < length_) {
    tokens_[p] = '\0';  // the delimiter is consumed
    ++p;
  }
  cursor_ = p;
  return tokens_ + start;
}

std::size_t ImportTextFile::NextDelimiter(std::size_t from) const {
  std::size_t p = from;
  while (p < length_ && !IsDelimiter(line_[p], delimiters_.c_str())) ++p;
  return p;
}

void ImportTextFile::ReadQuoted(std::size_t* pos, std::string* field) const {
  const char quote = line_[*pos];
  std::size_t p = *pos + 1;
  while (p < length_) {
    const char c = line_[p];
    if (c != quote) {
      field->push_back(c);
      ++p;
      continue;
    }
    if (p + 1 < length_ && line_[p + 1] == quote) {
      // A doubled quote is text, kept as both characters.
      field->append(2, quote);
      p += 2;
      continue;
    }
    // Only the last quote before the next delimiter closes the field.
    const std::size_t delimiter = NextDelimiter(p + 1);
    if (std::memchr(line_ + p + 1, quote, delimiter - (p + 1)) != nullptr) {
      field->push_back(c);
      ++p;
      continue;
    }
    ++p;
    break;
  }
  *pos = p;
}

bool ImportTextFile::NextField(std::string* field) {
  field->clear();
  if (cursor_ > length_) return false;
  std::size_t p = cursor_;
  while (p < length_ && line_[p] == ' ') ++p;
  if (p >= length_) {
    const bool spaces_only = p > cursor_;
    cursor_ = length_ + 1;
    return spaces_only;
  }
  if (IsQuote(line_[p])) {
    ReadQuoted(&p, field);
    p = NextDelimiter(p);  // characters behind the closing quote are dropped
  } else {
    const std::size_t end = NextDelimiter(p);
    field->assign(line_ + p, end - p);
    p = end;
  }
  cursor_ = p < length_ ? p + 1 : length_ + 1;
  return true;
}

const char* ImportTextFile::Rest() const { return line_ + (cursor_ < length_ ? cursor_ : length_); }

// ---------------------------------------------------------------------------
// ImportRead

ImportRead::ImportRead(ObjectFileBuild& build) : build_(build) {}

ImportRead::~ImportRead() = default;

int ImportRead::PercentDone() const { return 0; }

std::int32_t ImportRead::CurrentLine() const { return 0; }

pipError& ImportRead::error() const { return build_.error(); }

std::int32_t ImportRead::ToFileUnits(double value) {
  return lumetra::ImportOptions::FileUnits(value, true);
}

bool ImportRead::WritePending() {
  if (pending_ == nullptr) return true;
  const bool written = pending_->Write();
  pending_.reset();
  if (!written) Fail();
  return written;
}

void ImportRead::SetPending(std::unique_ptr<QPolygonObject> object) {
  // The old object releases the builder's arrays before the new one fills
  // them; a line-family object claims them in its constructor, so `object`
  // already holds them and the old one's release is a no-op.
  pending_ = std::move(object);
}

void ImportRead::DropPending() { pending_.reset(); }

void ImportRead::set_name(const char* name) { name_ = lumetra::CutText(name, kMaxNameLength); }

void ImportRead::set_name2(const char* name2) { name2_ = lumetra::CutText(name2, kMaxNameLength); }
