#include "testing/fault_file_system.h"

#include <array>
#include <mutex>

namespace hs {

struct FaultFileSystem::State {
  struct OpFault {
    WinError error = err::kSuccess;
    int skip = 0;
  };
  mutable std::mutex mu;
  std::array<OpFault, static_cast<std::size_t>(FsOp::kCount)> faults{};
  std::array<int, static_cast<std::size_t>(FsOp::kCount)> calls{};
  bool write_limit = false;
  std::uint64_t write_budget = 0;
  WinError write_error = err::kSuccess;

  // Counts the call; the error it must fail with, or 0.
  WinError Check(FsOp op);
  // Counts the call and takes bytes from the budget: how many may be
  // written (*allowed) and the error to report after writing them, or 0.
  WinError TakeBytes(FsOp op, std::size_t wanted, std::size_t* allowed);
};

namespace {

std::size_t Index(FsOp op) { return static_cast<std::size_t>(op); }

class FaultWritableFile final : public WritableFile {
 public:
  FaultWritableFile(std::unique_ptr<WritableFile> inner, std::shared_ptr<FaultFileSystem::State> state)
      : inner_(std::move(inner)), state_(std::move(state)) {}

  WinError Write(std::span<const std::uint8_t> bytes) override {
    std::size_t allowed = 0;
    WinError fault = state_->TakeBytes(FsOp::kWrite, bytes.size(), &allowed);
    if (allowed > 0) {
      if (WinError e = inner_->Write(bytes.first(allowed))) return e;
    }
    return fault;
  }
  WinError Sync() override {
    if (WinError e = state_->Check(FsOp::kSync)) return e;
    return inner_->Sync();
  }
  WinError Close() override {
    WinError fault = state_->Check(FsOp::kClose);
    WinError e = inner_->Close();
    return fault ? fault : e;
  }

 private:
  std::unique_ptr<WritableFile> inner_;
  std::shared_ptr<FaultFileSystem::State> state_;
};

class FaultAppendFile final : public AppendFile {
 public:
  FaultAppendFile(std::unique_ptr<AppendFile> inner, std::shared_ptr<FaultFileSystem::State> state)
      : inner_(std::move(inner)), state_(std::move(state)) {}

  WinError Append(std::span<const std::uint8_t> bytes) override {
    std::size_t allowed = 0;
    WinError fault = state_->TakeBytes(FsOp::kAppend, bytes.size(), &allowed);
    if (allowed > 0) {
      if (WinError e = inner_->Append(bytes.first(allowed))) return e;
    }
    return fault;
  }

 private:
  std::unique_ptr<AppendFile> inner_;
  std::shared_ptr<FaultFileSystem::State> state_;
};

}  // namespace

WinError FaultFileSystem::State::Check(FsOp op) {
  std::lock_guard<std::mutex> lock(mu);
  ++calls[Index(op)];
  OpFault& f = faults[Index(op)];
  if (f.error == err::kSuccess) return err::kSuccess;
  if (f.skip > 0) {
    --f.skip;
    return err::kSuccess;
  }
  return f.error;
}

WinError FaultFileSystem::State::TakeBytes(FsOp op, std::size_t wanted, std::size_t* allowed) {
  *allowed = 0;
  if (WinError e = Check(op)) return e;
  std::lock_guard<std::mutex> lock(mu);
  if (!write_limit || wanted <= write_budget) {
    if (write_limit) write_budget -= wanted;
    *allowed = wanted;
    return err::kSuccess;
  }
  *allowed = static_cast<std::size_t>(write_budget);
  write_budget = 0;
  return write_error;
}

FaultFileSystem::FaultFileSystem(FileSystem& target) : target_(target), state_(std::make_shared<State>()) {}

void FaultFileSystem::FailOp(FsOp op, WinError error, int skip) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->faults[Index(op)] = State::OpFault{error, skip};
}

void FaultFileSystem::FailWritesAfter(std::uint64_t budget, WinError error) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->write_limit = true;
  state_->write_budget = budget;
  state_->write_error = error;
}

void FaultFileSystem::ClearFaults() {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->faults = {};
  state_->write_limit = false;
}

int FaultFileSystem::Calls(FsOp op) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->calls[Index(op)];
}

WinError FaultFileSystem::ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) {
  if (WinError e = state_->Check(FsOp::kReadFile)) {
    out->clear();
    return e;
  }
  return target_.ReadFile(path, max_size, out);
}

WinError FaultFileSystem::ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                        std::vector<std::uint8_t>* out) {
  if (WinError e = state_->Check(FsOp::kReadFile)) {
    out->clear();
    return e;
  }
  return target_.ReadFileRange(path, offset, size, out);
}

WinError FaultFileSystem::CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) {
  out->reset();
  if (WinError e = state_->Check(FsOp::kCreateNewFile)) return e;
  std::unique_ptr<WritableFile> inner;
  if (WinError e = target_.CreateNewFile(path, &inner)) return e;
  *out = std::make_unique<FaultWritableFile>(std::move(inner), state_);
  return err::kSuccess;
}

WinError FaultFileSystem::OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) {
  out->reset();
  if (WinError e = state_->Check(FsOp::kOpenAppend)) return e;
  std::unique_ptr<AppendFile> inner;
  if (WinError e = target_.OpenAppend(path, &inner)) return e;
  *out = std::make_unique<FaultAppendFile>(std::move(inner), state_);
  return err::kSuccess;
}

bool FaultFileSystem::Exists(TextView path) { return target_.Exists(path); }

bool FaultFileSystem::IsDirectory(TextView path) { return target_.IsDirectory(path); }

WinError FaultFileSystem::CreateDirectories(TextView path) {
  if (WinError e = state_->Check(FsOp::kCreateDirectories)) return e;
  return target_.CreateDirectories(path);
}

WinError FaultFileSystem::DeleteFile(TextView path) {
  if (WinError e = state_->Check(FsOp::kDeleteFile)) return e;
  return target_.DeleteFile(path);
}

WinError FaultFileSystem::MoveFile(TextView from, TextView to, bool replace) {
  if (WinError e = state_->Check(FsOp::kMoveFile)) return e;
  return target_.MoveFile(from, to, replace);
}

WinError FaultFileSystem::ListDirectory(TextView path, std::vector<DirEntry>* out) {
  if (WinError e = state_->Check(FsOp::kListDirectory)) {
    out->clear();
    return e;
  }
  return target_.ListDirectory(path, out);
}

WinError FaultFileSystem::GetFileInfo(TextView path, FileInfo* out) {
  if (WinError e = state_->Check(FsOp::kGetFileInfo)) {
    *out = FileInfo{};
    return e;
  }
  return target_.GetFileInfo(path, out);
}

}  // namespace hs
