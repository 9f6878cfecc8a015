#pragma once
// The listener's trace log ./log.txt: a buffered stream in text mode (every
// LF reaches the disk as CR LF), truncated when the listener starts. Lines
// reach the disk when flushed (the listener flushes after each connection),
// when the buffer fills or when it is closed. TCP connections and HTTP
// requests are served on several threads, so every call takes a lock; a
// line written in one call is never split by another thread's.
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace tavrel {

class ListenerLog {
 public:
  ListenerLog() = default;
  ~ListenerLog();
  ListenerLog(const ListenerLog&) = delete;
  ListenerLog& operator=(const ListenerLog&) = delete;

  bool Open(const std::string& path);  // truncates; false when it cannot
  bool IsOpen() const { return file_ != nullptr; }
  void Write(std::string_view text);  // ignored while closed
  void Flush();
  void Close();

 private:
  std::FILE* file_ = nullptr;
  std::mutex mutex_;
};

}  // namespace tavrel
