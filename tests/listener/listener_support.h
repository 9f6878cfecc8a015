#pragma once
// Shared pieces of the listener tests: a station on a temporary folder, a
// view that records what the listener shows, and a loopback client.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "listener/listener_view.h"
#include "platform/station.h"

namespace tavrel::test {

// A station on a fresh temporary folder, removed at the end. The working
// directory is left alone.
class TempStation {
 public:
  TempStation();
  ~TempStation();
  TempStation(const TempStation&) = delete;
  TempStation& operator=(const TempStation&) = delete;
  const std::string& path() const { return path_; }
  const Station& station() const { return station_; }
  // "log.txt" -> "<folder>/log.txt"
  std::string Path(std::string_view relative) const { return station_.Path(relative); }

 private:
  std::string path_;
  Station station_;
};

class RecordingView : public ListenerView {
 public:
  void ShowStatus(const std::string& text) override;
  void AppendStatus(const std::string& text) override;
  void ShowAccount(const std::string& text) override;

  std::string Memo() const;     // the memo text as the window would hold it
  std::string Account() const;  // the last account text
  std::vector<std::string> Events() const;  // "show:", "append:", "account:" + text
  // Waits until the memo holds text, at most timeout; false if it never did.
  bool WaitForMemo(const std::string& text,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  void Record(std::string event);
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string memo_;
  std::string account_;
  std::vector<std::string> events_;
};

// Whole file, raw bytes; "<missing>" when it cannot be read.
std::string FileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The name of the only day folder in root, or "" when there is none.
std::string OnlyDayFolder(const std::string& root);

// A port on 127.0.0.1 that was free a moment ago.
std::uint16_t FreeLoopbackPort();

struct Exchange {
  bool connected = false;
  std::string reply;  // every byte read until the service closed
};
// Connects to 127.0.0.1:port, sends request in one call (nothing when
// send_nothing), and reads until the service closes.
Exchange SendRequest(std::uint16_t port, const std::string& request, bool send_nothing = false);

}  // namespace tavrel::test
