#pragma once
// The engine's trace ./sms.log: printf-style lines in text mode (every LF
// reaches the disk as CR LF), pushed to the file after each line so that it
// is current while the engine runs. Nothing in the system reads it.
#include <cstdio>
#include <string>

namespace tavrel {

class Pacer;

class EngineLog {
 public:
  EngineLog() = default;  // traces nowhere until Open succeeds
  ~EngineLog();
  EngineLog(const EngineLog&) = delete;
  EngineLog& operator=(const EngineLog&) = delete;

  // Creates or truncates the file. The engine works on without a trace when
  // this fails, so the result only tells whether lines will land anywhere.
  bool Open(const std::string& path);

  // A pacer whose checkpoint is passed before every line, so that a stopped
  // engine writes nothing here either.
  void SetPacer(Pacer* pacer) { pacer_ = pacer; }

  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Flush();
  bool is_open() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
  Pacer* pacer_ = nullptr;
};

}  // namespace tavrel
