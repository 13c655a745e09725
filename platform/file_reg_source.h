// A file of a FileSystem as a byte source for the stream parser of
// registry export text, read in pieces of kRegTextChunkBytes.
#pragma once

#include "platform/file_system.h"
#include "platform/reg_text.h"

namespace hs {

class FileRegTextSource final : public RegTextByteSource {
 public:
  FileRegTextSource(FileSystem& fs, TextView path) : fs_(fs), path_(path) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    if (error_ != err::kSuccess) return 0;
    if (pos_ >= piece_.size()) {
      error_ = fs_.ReadFileRange(path_, offset_, kRegTextChunkBytes, &piece_);
      pos_ = 0;
      offset_ += piece_.size();
      if (error_ != err::kSuccess) return 0;
    }
    const std::size_t n = std::min(size, piece_.size() - pos_);
    std::copy(piece_.begin() + static_cast<std::ptrdiff_t>(pos_),
              piece_.begin() + static_cast<std::ptrdiff_t>(pos_ + n), buffer);
    pos_ += n;
    return n;
  }
  bool failed() const override { return error_ != err::kSuccess; }
  WinError error() const { return error_; }

 private:
  FileSystem& fs_;
  Text path_;
  std::vector<std::uint8_t> piece_;
  std::size_t pos_ = 0;
  std::uint64_t offset_ = 0;
  WinError error_ = err::kSuccess;
};

}  // namespace hs
