#include "defrag/parameter_file.h"

#include "platform/hive_limits.h"

namespace hs {
namespace {

void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutText(std::vector<std::uint8_t>* out, TextView t) {
  const std::vector<std::uint8_t> b = ToUtf16leBytes(t);
  out->insert(out->end(), b.begin(), b.end());
}

class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> b) : b_(b) {}
  bool U32(std::uint32_t* v) {
    if (b_.size() - pos_ < 4) return false;
    *v = static_cast<std::uint32_t>(b_[pos_]) | static_cast<std::uint32_t>(b_[pos_ + 1]) << 8 |
         static_cast<std::uint32_t>(b_[pos_ + 2]) << 16 | static_cast<std::uint32_t>(b_[pos_ + 3]) << 24;
    pos_ += 4;
    return true;
  }
  bool Chars(std::uint32_t n, Text* t) {
    if (n > kMaxHiveNameChars || (b_.size() - pos_) / 2 < n) return false;
    *t = FromUtf16leBytes(b_.data() + pos_, std::size_t{n} * 2);
    pos_ += std::size_t{n} * 2;
    return true;
  }
  std::size_t offset() const { return pos_; }

 private:
  std::span<const std::uint8_t> b_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeParameterFile(const ParameterFile& file, ParameterForm form) {
  std::vector<std::uint8_t> out;
  Put32(&out, file.count);
  Put32(&out, file.version);
  Put32(&out, file.status);
  for (const ParameterRecord& r : file.records) {
    Put32(&out, static_cast<std::uint32_t>(r.name.size()));
    Put32(&out, static_cast<std::uint32_t>(r.path.size()));
    Put32(&out, r.size);
    Put32(&out, r.extra);
    PutText(&out, form == ParameterForm::kWritten ? r.name : r.path);
    PutText(&out, form == ParameterForm::kWritten ? r.path : r.name);
  }
  return out;
}

ParameterParse ParseParameterFile(std::span<const std::uint8_t> bytes, ParameterForm form, ParameterFile* out,
                                  std::string* error) {
  *out = ParameterFile{};
  Cursor c(bytes);
  if (!c.U32(&out->count) || !c.U32(&out->version) || !c.U32(&out->status)) {
    *error = "the header is cut off";
    return ParameterParse::kBadHeader;
  }
  if (out->count > kMaxHiveRecords) {
    *error = "more than " + std::to_string(kMaxHiveRecords) + " records";
    return ParameterParse::kBadRecord;
  }
  for (std::uint32_t i = 0; i < out->count; ++i) {
    std::uint32_t name_len = 0, path_len = 0;
    ParameterRecord r;
    Text first, second;
    if (!c.U32(&name_len) || !c.U32(&path_len) || !c.U32(&r.size) || !c.U32(&r.extra) ||
        !c.Chars(form == ParameterForm::kWritten ? name_len : path_len, &first) ||
        !c.Chars(form == ParameterForm::kWritten ? path_len : name_len, &second)) {
      *error = "record " + std::to_string(i + 1) + " is cut off or too long (offset " + std::to_string(c.offset()) + ")";
      return ParameterParse::kBadRecord;
    }
    r.name = form == ParameterForm::kWritten ? first : second;
    r.path = form == ParameterForm::kWritten ? second : first;
    out->records.push_back(std::move(r));
  }
  return ParameterParse::kOk;
}

}  // namespace hs
