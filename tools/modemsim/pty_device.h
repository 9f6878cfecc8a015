#pragma once
// The simulated modem's end of a pseudo-terminal and the symbolic link
// through which the station finds the other end.
#include <string>

namespace modemsim {

class PtyDevice {
 public:
  PtyDevice() = default;
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;
  ~PtyDevice() { Close(); }

  // A fresh pseudo-terminal in raw mode, master non-blocking.
  bool Open(std::string& error);
  void Close();
  bool IsOpen() const { return master_ >= 0; }
  int Master() const { return master_; }
  const std::string& DevicePath() const { return device_path_; }
  // Bytes written to the master that the program on the device has not read.
  std::size_t Unread() const;

 private:
  int master_ = -1;
  // Held open so that the master never sees a hang-up while no program has
  // the device open; otherwise poll() would report it without end.
  int keeper_ = -1;
  std::string device_path_;
};

// Points `link` at `target`, replacing an existing symbolic link but never
// a file or folder of another kind.
bool PlaceLink(const std::string& link, const std::string& target, std::string& error);
// Removes `link` when it still points at `target` (a newer modemsim may
// have taken the name over).
void RemoveLink(const std::string& link, const std::string& target);

}  // namespace modemsim
