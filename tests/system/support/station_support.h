#pragma once
// The whole station in one temporary directory: modemsim as its modem,
// Quillon listening on the loopback address, headless Ravelin sending, and
// clients queueing requests over TCP the way other programs do.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/system/support/system_support.h"

namespace tavrel::system_test {

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
int FreeLoopbackPort();

// server.txt for the modem on ./modem and Quillon on 127.0.0.1:port.
void WriteStationSettings(const StationDir& dir, int port);

// Quillon --headless, returned once it listens; null (with a test failure)
// when it did not come up in time.
std::unique_ptr<Child> StartHeadlessQuillon(const StationDir& dir, const std::string& scale = "0.01");

// One request on its own connection, as a client of Quillon sends it. The
// reply text up to its first zero byte, or nothing when the connection
// failed or closed before a whole 1024-byte reply came.
std::optional<std::string> QueueRequest(int port, const std::string& request,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The three reply texts, GBK.
std::string AcceptedReply();
std::string BadRequestReply();

// Record n of a mailbox as it is on disk; absent files are nullopt.
struct StoredRecord {
  long n = 0;
  std::optional<std::string> r, h, da;
  bool complete() const { return r && h && da; }
};
std::vector<StoredRecord> StoredRecords(const StationDir& dir, const std::string& day,
                                        const std::string& box, long count);
// A mailbox's counter as a number; -1 when absent.
long StoredCounter(const StationDir& dir, const std::string& day, const std::string& box);

// The header of an outgoing record as it reaches the disk, with the time of
// day masked (see MaskTimes).
std::string OutboxHeaderOnDisk(const std::string& day);
std::string InboxHeaderOnDisk(const std::string& day);

// Eventually, while reading what the children print: a child that prints a
// line for every request or send would otherwise stop on a full pipe.
bool EventuallyDraining(const std::function<bool()>& condition, const std::vector<Child*>& children,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Writes one control command into modemsim's spool and waits until taken.
bool ControlModem(const std::string& spool, const std::string& command);

// Resident memory of a process in KiB, from /proc; 0 when it has gone.
long ResidentKib(pid_t pid);
// The most it has been resident so far, in KiB; 0 when it has gone.
long PeakResidentKib(pid_t pid);

}  // namespace tavrel::system_test
