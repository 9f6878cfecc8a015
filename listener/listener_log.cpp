#include "listener/listener_log.h"

#include "platform/textfile.h"

namespace tavrel {

ListenerLog::~ListenerLog() { Close(); }

bool ListenerLog::Open(const std::string& path) {
  Close();
  std::lock_guard lock(mutex_);
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void ListenerLog::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  const std::string bytes = ToTextMode(text);
  std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

void ListenerLog::Flush() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fflush(file_);
}

void ListenerLog::Close() {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace tavrel
