// modemsim: a GSM modem simulated on a pseudo-terminal, for the station's
// demo and its tests. See README.md beside this file for the command line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "tools/modemsim/json.h"
#include "tools/modemsim/modem.h"
#include "tools/modemsim/pty_device.h"
#include "tools/modemsim/spool.h"

namespace modemsim {
namespace {

using Clock = std::chrono::steady_clock;
// The spool is looked at when inotify reports a file moved or written into
// it, and also at this slow pace in case a watch was lost (the folder
// replaced, or a message waiting for room in a full storage).
constexpr auto kSpoolInterval = std::chrono::milliseconds(1000);
constexpr auto kSpoolRetry = std::chrono::milliseconds(20);
// How long a modem about to vanish waits for the station to read its last
// answer: closing the master discards what the other side has not read.
constexpr auto kLeaveLimit = std::chrono::seconds(5);
constexpr auto kLeavePoll = std::chrono::milliseconds(5);
// Written bytes reach the other side's queue a little later (the kernel
// moves them in a work item), so an empty queue right after a write proves
// nothing; once this long has passed it does.
constexpr auto kSettle = std::chrono::milliseconds(50);

volatile sig_atomic_t g_stop = 0;
void OnStopSignal(int) { g_stop = 1; }

struct Options {
  std::string link;
  std::string spool;
  std::string sent_log;
  std::string traffic_log;
  std::string state;
  Faults faults;
  Pacing pacing;
  Reports reports;
  Indications indications;
  std::optional<int> next_reference;
  std::size_t capacity = Modem::kDefaultCapacity;
  std::size_t vanish_after = 0;  // 0: never
};

constexpr const char* kUsage =
    "usage: modemsim --link PATH [--spool DIR] [--sent-log FILE] [--traffic-log FILE] [--state FILE]\n"
    "                [--fail-sends N] [--silent] [--garbage] [--vanish-after N]\n"
    "                [--prompt-delay MS] [--result-delay MS] [--report-delay MS] [--mr N]\n"
    "                [--cms-error NUMBER=CODE[,COUNT]]... [--report-status [NUMBER=]CODE|none]...\n"
    "                [--cnmi MODE,MT,BM,DS,BFR] [--urc-in-listing LINE] [--capacity N]\n"
    "                [--answer-with TEXT]\n"
    "A GSM modem in PDU mode on a pseudo-terminal that PATH links to. See tools/modemsim/README.md.\n";

// The modem's delays follow the station's pacing clock: TAVREL_TIME_SCALE
// scales them, read by the same rules (a decimal factor; a bad value is 1).
// modemsim reads it itself because it links none of the station's code.
SteadyClock::duration Paced(std::size_t milliseconds) {
  static const double scale = [] {
    const char* text = std::getenv("TAVREL_TIME_SCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 0.0) || value > 1000.0) return 1.0;
    return value;
  }();
  return std::chrono::duration_cast<SteadyClock::duration>(
      std::chrono::duration<double, std::milli>(static_cast<double>(milliseconds) * scale));
}

void ApplyCmsRule(Faults& faults, const NumberRule& rule) {
  std::string key = NumberKey(rule.number);
  if (rule.code) {
    faults.cms_errors[key] = CmsError{*rule.code, rule.count};
  } else {
    faults.cms_errors.erase(key);
  }
}

void ApplyReportRule(Reports& reports, const NumberRule& rule) {
  if (rule.number.empty()) {
    reports.status = rule.code;
  } else {
    reports.by_number[NumberKey(rule.number)] = rule.code;
  }
}

std::optional<std::size_t> Count(const char* text) {
  std::string value = text;
  if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoul(value);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "modemsim: %s needs a value\n", name.c_str());
        return nullptr;
      }
      return argv[++i];
    };
    auto count = [&]() -> std::optional<std::size_t> {
      const char* text = value();
      if (!text) return std::nullopt;
      auto number = Count(text);
      if (!number) std::fprintf(stderr, "modemsim: %s needs a whole number, not \"%s\"\n", name.c_str(), text);
      return number;
    };
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (name == "--link" || name == "--spool" || name == "--sent-log" || name == "--traffic-log" ||
               name == "--state") {
      const char* text = value();
      if (!text) return std::nullopt;
      (name == "--link" ? options.link : name == "--spool" ? options.spool : name == "--sent-log" ? options.sent_log
       : name == "--state" ? options.state : options.traffic_log) = text;
    } else if (name == "--prompt-delay" || name == "--result-delay" || name == "--report-delay") {
      auto n = count();
      if (!n) return std::nullopt;
      (name == "--prompt-delay" ? options.pacing.prompt : name == "--result-delay" ? options.pacing.result
                                                                                  : options.pacing.report) = Paced(*n);
    } else if (name == "--mr" || name == "--capacity") {
      auto n = count();
      if (!n || (name == "--mr" && *n > 255) || (name == "--capacity" && *n == 0)) {
        if (n) std::fprintf(stderr, "modemsim: %s is out of range\n", name.c_str());
        return std::nullopt;
      }
      if (name == "--mr") options.next_reference = static_cast<int>(*n);
      if (name == "--capacity") options.capacity = *n;
    } else if (name == "--cms-error" || name == "--report-status") {
      const char* text = value();
      if (!text) return std::nullopt;
      std::string error;
      auto rule = name == "--cms-error" ? ParseCmsErrorRule(text, error) : ParseReportStatusRule(text, error);
      if (!rule) {
        std::fprintf(stderr, "modemsim: %s: %s\n", name.c_str(), error.c_str());
        return std::nullopt;
      }
      if (name == "--cms-error") {
        ApplyCmsRule(options.faults, *rule);
      } else {
        ApplyReportRule(options.reports, *rule);
      }
    } else if (name == "--cnmi") {
      const char* text = value();
      if (!text) return std::nullopt;
      auto indications = ParseIndications(text, options.indications);
      if (!indications) {
        std::fprintf(stderr, "modemsim: --cnmi needs up to five values as AT+CNMI takes them, not \"%s\"\n", text);
        return std::nullopt;
      }
      options.indications = *indications;
    } else if (name == "--urc-in-listing") {
      const char* text = value();
      if (!text) return std::nullopt;
      options.faults.urc_in_listing = text;
    } else if (name == "--answer-with") {
      const char* text = value();
      if (!text || !*text) return std::nullopt;
      options.faults.answer_with = FromUtf8(text);
    } else if (name == "--fail-sends") {
      auto n = count();
      if (!n) return std::nullopt;
      options.faults.fail_sends = static_cast<int>(*n);
    } else if (name == "--vanish-after") {
      auto n = count();
      if (!n) return std::nullopt;
      options.vanish_after = *n;
    } else if (name == "--silent") {
      options.faults.silent = true;
    } else if (name == "--garbage") {
      options.faults.garbage = true;
    } else {
      std::fprintf(stderr, "modemsim: unknown option %s\n", name.c_str());
      return std::nullopt;
    }
  }
  if (options.link.empty()) {
    std::fputs("modemsim: --link PATH is required\n", stderr);
    return std::nullopt;
  }
  return options;
}

int OpenLog(const std::string& path) {
  if (path.empty()) return -1;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) std::fprintf(stderr, "modemsim: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
  return fd;
}

// One line in one write(), so that a reader never sees half of it.
void WriteLine(int fd, std::string line) {
  if (fd < 0) return;
  line += '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void Announce(const char* word, const std::string& link) {
  std::printf("%s %s\n", word, link.c_str());
  std::fflush(stdout);
}

class Simulator {
 public:
  explicit Simulator(Options options) : options_(std::move(options)), modem_(options_.capacity) {
    modem_.faults() = options_.faults;
    modem_.pacing() = options_.pacing;
    modem_.reports() = options_.reports;
    modem_.indications() = options_.indications;
    if (options_.next_reference) modem_.SetNextReference(*options_.next_reference);
  }

  int Run() {
    if (!Prepare()) return 1;
    while (!g_stop && !quit_) Step();
    if (device_.IsOpen()) RemoveLink(options_.link, device_.DevicePath());
    return 0;
  }

 private:
  enum class Presence { Present, Leaving, Away, Gone };

  bool Prepare() {
    if (!options_.spool.empty() && mkdir(options_.spool.c_str(), 0755) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "modemsim: cannot create the spool folder %s: %s\n", options_.spool.c_str(),
                   std::strerror(errno));
      return false;
    }
    if (!options_.spool.empty()) {
      spool_watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      constexpr std::uint32_t kArrivals = IN_MOVED_TO | IN_CLOSE_WRITE;
      if (spool_watch_ >= 0 && inotify_add_watch(spool_watch_, options_.spool.c_str(), kArrivals) < 0) {
        close(spool_watch_);
        spool_watch_ = -1;
      }
    }
    sent_log_ = OpenLog(options_.sent_log);
    traffic_log_ = OpenLog(options_.traffic_log);
    if ((!options_.sent_log.empty() && sent_log_ < 0) || (!options_.traffic_log.empty() && traffic_log_ < 0)) {
      return false;
    }
    if (!WriteState()) return false;
    return Appear();
  }

  bool Appear() {
    std::string error;
    if (!device_.Open(error) || !PlaceLink(options_.link, device_.DevicePath(), error)) {
      std::fprintf(stderr, "modemsim: %s\n", error.c_str());
      device_.Close();
      return false;
    }
    presence_ = Presence::Present;
    Announce("ready", options_.link);
    return true;
  }

  // Armed by vanish-at-send: the device goes away as the next AT+CMGS
  // arrives, so the send is in flight and certainly never reaches the
  // network. Only the tail of what was typed is kept to find it.
  bool VanishesAtSend(std::string_view chunk) {
    if (!vanish_at_send_) return false;
    for (char c : chunk) typed_ += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (typed_.find("AT+CMGS=") == std::string::npos) {
      if (typed_.size() > 16) typed_.erase(0, typed_.size() - 16);
      return false;
    }
    const auto away = *vanish_at_send_;
    vanish_at_send_.reset();
    typed_.clear();
    Disappear(Clock::now() + away);
    return true;
  }

  // The device goes away as an unplugged modem does: its line closes and
  // its name disappears; what it stored stays.
  void Disappear(std::optional<Clock::time_point> back_at) {
    if (presence_ == Presence::Present || presence_ == Presence::Leaving) {
      FlushOutput();
      RemoveLink(options_.link, device_.DevicePath());
      device_.Close();
      pending_.clear();
      modem_.ResetLine();
      Announce("gone", options_.link);
    }
    if (presence_ == Presence::Gone) return;
    presence_ = back_at ? Presence::Away : Presence::Gone;
    if (back_at) back_at_ = *back_at;
  }

  void Step() {
    pollfd fds[2] = {{-1, 0, 0}, {spool_watch_, POLLIN, 0}};
    pollfd& device = fds[0];
    if (Connected()) {
      device.fd = device_.Master();
      device.events = static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT));
    }
    timespec timeout = Timeout();
    sigset_t unblocked;
    sigemptyset(&unblocked);
    int ready = ppoll(fds, 2, &timeout, &unblocked);
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "modemsim: poll failed: %s\n", std::strerror(errno));
      quit_ = true;
      return;
    }
    if (Connected() && (device.revents & (POLLIN | POLLERR | POLLHUP))) ReadInput();
    if (fds[1].revents & POLLIN) {
      char events[4096];
      while (read(spool_watch_, events, sizeof events) > 0) {
      }
      next_scan_ = Clock::now();
    }
    if (!options_.spool.empty() && Clock::now() >= next_scan_) {
      bool waiting = ScanSpool();
      next_scan_ = Clock::now() + (waiting || spool_watch_ < 0 ? kSpoolRetry : kSpoolInterval);
    }
    Advance();
    if (Connected() && !pending_.empty()) WriteOutput();
    if (presence_ == Presence::Present && options_.vanish_after > 0 &&
        modem_.CommandsDone() >= options_.vanish_after) {
      presence_ = Presence::Leaving;
      leave_by_ = Clock::now() + kLeaveLimit;
    }
    if (presence_ == Presence::Leaving && (LastAnswerTaken() || Clock::now() >= leave_by_)) {
      Disappear(std::nullopt);
    }
    if (presence_ == Presence::Away && Clock::now() >= back_at_ && !Appear()) quit_ = true;
  }

  // Lets the modem do what has come due and records what it did. While the
  // device is away the network still works; what the modem says is lost.
  void Advance() {
    std::string lost;
    modem_.Tick(presence_ == Presence::Present ? pending_ : lost);
    for (std::string& line : modem_.TakeSentLines()) WriteLine(sent_log_, std::move(line));
    for (const std::string& note : modem_.TakeDiagnostics()) std::fprintf(stderr, "modemsim: %s\n", note.c_str());
    if (modem_.StorageVersion() != state_version_) WriteState();
  }

  // The storage as --state shows it, replaced whole so that a reader never
  // sees half of it.
  bool WriteState() {
    state_version_ = modem_.StorageVersion();
    if (options_.state.empty()) return true;
    std::string temporary = options_.state + ".new";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::fprintf(stderr, "modemsim: cannot write %s: %s\n", temporary.c_str(), std::strerror(errno));
      return false;
    }
    std::string lines = StateLines(modem_.Storage());
    bool written = write(fd, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
    close(fd);
    if (!written || rename(temporary.c_str(), options_.state.c_str()) != 0) {
      std::fprintf(stderr, "modemsim: cannot replace %s: %s\n", options_.state.c_str(), std::strerror(errno));
      return false;
    }
    return true;
  }

  bool LastAnswerTaken() {
    if (!pending_.empty()) return false;
    if (device_.Unread() > 0) {
      seen_unread_ = true;
      return false;
    }
    return seen_unread_ || Clock::now() - last_write_ >= kSettle;
  }

  bool Connected() const { return presence_ == Presence::Present || presence_ == Presence::Leaving; }

  timespec Timeout() const {
    auto wait = std::chrono::nanoseconds(std::chrono::seconds(1));
    auto now = Clock::now();
    if (!options_.spool.empty()) wait = std::min<std::chrono::nanoseconds>(wait, next_scan_ - now);
    if (presence_ == Presence::Away) wait = std::min<std::chrono::nanoseconds>(wait, back_at_ - now);
    if (presence_ == Presence::Leaving) wait = std::min<std::chrono::nanoseconds>(wait, kLeavePoll);
    if (auto due = modem_.NextDue()) wait = std::min<std::chrono::nanoseconds>(wait, *due - now);
    if (wait.count() < 0) wait = {};
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>((wait - seconds).count())};
  }

  void ReadInput() {
    char buffer[4096];
    for (;;) {
      ssize_t n = read(device_.Master(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // EAGAIN: all taken
      std::string_view chunk(buffer, static_cast<std::size_t>(n));
      Trace("in", chunk);
      if (presence_ == Presence::Leaving) continue;  // a modem on its way out takes nothing more
      if (VanishesAtSend(chunk)) return;
      modem_.Receive(chunk, pending_);
      if (options_.vanish_after > 0 && modem_.CommandsDone() >= options_.vanish_after) return;
    }
  }

  void WriteOutput() {
    while (!pending_.empty()) {
      ssize_t n = write(device_.Master(), pending_.data(), pending_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // the other side is full; poll says when it drains
      Trace("out", std::string_view(pending_.data(), static_cast<std::size_t>(n)));
      last_write_ = Clock::now();
      seen_unread_ = false;
      pending_.erase(0, static_cast<std::size_t>(n));
    }
  }

  // Gives the last answer a moment to leave before the line closes.
  void FlushOutput() {
    auto deadline = Clock::now() + std::chrono::milliseconds(200);
    while (!pending_.empty() && Clock::now() < deadline) {
      WriteOutput();
      pollfd device{device_.Master(), POLLOUT, 0};
      if (!pending_.empty()) poll(&device, 1, 10);
    }
  }

  void Trace(const char* direction, std::string_view bytes) {
    if (traffic_log_ < 0) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%lld.%03ld", static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000,
                  now.tv_nsec / 1000 % 1000);
    std::string hex;
    for (unsigned char b : bytes) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      hex += kDigits[b >> 4];
      hex += kDigits[b & 0x0F];
    }
    WriteLine(traffic_log_, std::string("{\"ms\":") + stamp + ",\"dir\":\"" + direction +
                                "\",\"data\":" + JsonBytes(bytes) + ",\"hex\":\"" + hex + "\"}");
  }

  // True when a message is left waiting for room.
  bool ScanSpool() {
    bool storage_full = false;
    for (const std::string& name : SpoolEntries(options_.spool)) {
      std::string path = options_.spool + "/" + name;
      std::string content;
      if (!ReadWholeFile(path, content)) continue;  // taken away meanwhile
      std::string error;
      if (name.ends_with(".ctl")) {
        auto controls = ParseControls(content, error);
        if (!controls) {
          SetAside(path, error);
          continue;
        }
        unlink(path.c_str());
        for (const Control& control : *controls) Apply(control);
        if (quit_) return false;
        continue;
      }
      if (storage_full) continue;  // later messages wait behind the one that did not fit
      auto injection = ReadInjection(name, content, error);
      if (!injection) {
        SetAside(path, error);
        continue;
      }
      Modem::InjectResult result = modem_.Inject(*injection, error);
      if (result == Modem::InjectResult::Refused) {
        SetAside(path, error);
        continue;
      }
      if (result == Modem::InjectResult::NoRoom) {
        if (!reported_full_) {
          std::fprintf(stderr, "modemsim: message storage full; %s waits until messages are deleted\n", path.c_str());
        }
        reported_full_ = storage_full = true;
        continue;
      }
      reported_full_ = false;
      unlink(path.c_str());
    }
    return storage_full;
  }

  // A *.sms file is the plain case of a *.msg file.
  static std::optional<Injection> ReadInjection(const std::string& name, const std::string& content,
                                                std::string& error) {
    if (name.ends_with(".msg")) return ParseInjection(content, error);
    auto message = ParseSpoolMessage(content, error);
    if (!message) return std::nullopt;
    Injection injection;
    injection.address = message->sender;
    injection.text = message->text;
    return injection;
  }

  // A file that cannot be understood is kept, renamed, for its writer to see.
  static void SetAside(const std::string& path, const std::string& error) {
    std::string kept = path + ".bad";
    rename(path.c_str(), kept.c_str());
    std::fprintf(stderr, "modemsim: %s: %s (kept as %s)\n", path.c_str(), error.c_str(), kept.c_str());
  }

  void Apply(const Control& control) {
    switch (control.kind) {
      case Control::Kind::FailSends:
        modem_.faults().fail_sends = control.value;
        break;
      case Control::Kind::Silent:
        modem_.faults().silent = control.on;
        modem_.ResetLine();
        break;
      case Control::Kind::Garbage:
        modem_.faults().garbage = control.on;
        modem_.ResetLine();
        break;
      case Control::Kind::Vanish:
        Disappear(Clock::now() + std::chrono::milliseconds(control.value));
        break;
      case Control::Kind::VanishAtSend:
        vanish_at_send_ = std::chrono::milliseconds(control.value);
        typed_.clear();
        break;
      case Control::Kind::Quit:
        quit_ = true;
        break;
      case Control::Kind::Ring:
        modem_.Unsolicited("RING");
        break;
      case Control::Kind::Say:
        modem_.Unsolicited(control.text);
        break;
      case Control::Kind::UrcInListing:
        modem_.faults().urc_in_listing = control.text;
        break;
      case Control::Kind::CmsError:
        ApplyCmsRule(modem_.faults(), control.rule);
        break;
      case Control::Kind::ReportStatus:
        ApplyReportRule(modem_.reports(), control.rule);
        break;
      case Control::Kind::PromptDelay:
        modem_.pacing().prompt = Paced(static_cast<std::size_t>(control.value));
        break;
      case Control::Kind::ResultDelay:
        modem_.pacing().result = Paced(static_cast<std::size_t>(control.value));
        break;
      case Control::Kind::ReportDelay:
        modem_.pacing().report = Paced(static_cast<std::size_t>(control.value));
        break;
      case Control::Kind::NextReference:
        modem_.SetNextReference(control.value);
        break;
    }
  }

  Options options_;
  Modem modem_;
  PtyDevice device_;
  Presence presence_ = Presence::Gone;
  Clock::time_point back_at_{};
  Clock::time_point leave_by_{};
  Clock::time_point last_write_{};
  bool seen_unread_ = false;
  Clock::time_point next_scan_{};
  std::string pending_;
  int sent_log_ = -1;
  int traffic_log_ = -1;
  int spool_watch_ = -1;
  std::uint64_t state_version_ = 0;
  bool quit_ = false;
  bool reported_full_ = false;
  std::optional<std::chrono::milliseconds> vanish_at_send_;
  std::string typed_;  // the tail of the line while vanish-at-send is armed
};

}  // namespace
}  // namespace modemsim

int main(int argc, char** argv) {
  auto options = modemsim::ParseOptions(argc, argv);
  if (!options) {
    std::fputs(modemsim::kUsage, stderr);
    return 2;
  }
  // The stop signals are let through only inside ppoll, so none is lost
  // between a check of the flag and the wait.
  sigset_t stops;
  sigemptyset(&stops);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    sigaddset(&stops, signal);
    struct sigaction action{};
    action.sa_handler = modemsim::OnStopSignal;
    sigaction(signal, &action, nullptr);
  }
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  return modemsim::Simulator(std::move(*options)).Run();
}
