#pragma once
// Scripted stand-ins for the modem port and the engine's pacer.
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

#include "engine/port.h"

namespace tavrel::testing {

class ScriptedPort : public Port {
 public:
  // Each Read returns the next scripted chunk cut to the requested size;
  // once the script is used up, reads time out empty.
  void Script(std::vector<std::string> chunks) { chunks_.assign(chunks.begin(), chunks.end()); }
  void Write(std::string_view bytes) override { written.emplace_back(bytes); }
  std::string Read(std::size_t max) override {
    ++reads;
    requested.push_back(max);
    if (chunks_.empty()) return {};
    std::string chunk = chunks_.front();
    chunks_.pop_front();
    if (chunk.size() > max) {
      chunks_.push_front(chunk.substr(max));
      chunk.resize(max);
    }
    return chunk;
  }
  std::size_t left() const { return chunks_.size(); }

  std::vector<std::string> written;
  std::vector<std::size_t> requested;
  int reads = 0;

 private:
  std::deque<std::string> chunks_;
};

// A modem that never stops sending: every read delivers a full buffer.
class FloodingPort : public Port {
 public:
  void Write(std::string_view) override {}
  std::string Read(std::size_t max) override {
    ++reads;
    return std::string(max, 'x');
  }
  int reads = 0;
};

class RecordingPacer : public Pacer {
 public:
  void Pause(std::chrono::milliseconds nominal) override { pauses.push_back(nominal); }
  void Checkpoint() override { ++checkpoints; }
  std::vector<std::chrono::milliseconds> pauses;
  int checkpoints = 0;
};

// A fresh directory under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-engine-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace tavrel::testing
