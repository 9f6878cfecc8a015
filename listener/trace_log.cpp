#include "listener/trace_log.h"

#include "platform/textfile.h"

namespace tavrel {

TraceLog::~TraceLog() { Close(); }

bool TraceLog::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void TraceLog::Write(std::string_view text) {
  if (file_ == nullptr) return;
  const std::string bytes = ToTextMode(text);
  std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

void TraceLog::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

void TraceLog::Close() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace tavrel
