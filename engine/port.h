#pragma once
// What the modem link is driven through: the port it talks to, and the
// pacer that owns its pauses and its suspension checkpoints. The engine
// plugs in the serial port and its own thread; unit tests plug in scripts.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel {

class Port {
 public:
  virtual ~Port() = default;
  // Writes the bytes; how many went out is not the caller's concern.
  virtual void Write(std::string_view bytes) = 0;
  // Up to max bytes, returning after max bytes or after the read timeout
  // (5 ms per requested byte plus 1000 ms) with what has arrived.
  virtual std::string Read(std::size_t max) = 0;
};

class Pacer {
 public:
  virtual ~Pacer() = default;
  // A fixed pause of the exchange, scaled by the pacing clock; a stop
  // request freezes it and the rest is waited after the next start.
  virtual void Pause(std::chrono::milliseconds nominal) = 0;
  // Called before every file write; holds while the engine is stopped.
  virtual void Checkpoint() = 0;
  // Brackets the work on one received message (filing it, deleting it
  // from the modem), which a plain stop lets end before the engine does.
  virtual void BeginMustFinish() {}
  virtual void EndMustFinish() {}
};

class MustFinish {
 public:
  explicit MustFinish(Pacer& pacer) : pacer_(pacer) { pacer_.BeginMustFinish(); }
  ~MustFinish() { pacer_.EndMustFinish(); }
  MustFinish(const MustFinish&) = delete;
  MustFinish& operator=(const MustFinish&) = delete;

 private:
  Pacer& pacer_;
};

}  // namespace tavrel
