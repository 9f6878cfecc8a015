// build/bin/modemsim as the station meets it: a device reached through a
// symbolic link, opened with termios, fed through its spool folder.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/modemsim/pdu.h"

namespace modemsim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kAbPdu = "0891683108000000F011000B813108000000F00008A70400610062";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits for a condition by looking again every few milliseconds.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 3000ms) {
  auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class Modemsim {
 public:
  Modemsim() {
    char pattern[] = "/tmp/modemsim-test-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~Modemsim() {
    Stop();
    if (stdout_ >= 0) close(stdout_);
    fs::remove_all(dir_);
  }

  const fs::path& Dir() const { return dir_; }
  fs::path Link() const { return dir_ / "modem"; }
  fs::path Spool() const { return dir_ / "spool"; }

  void Start(std::vector<std::string> extra) {
    std::vector<std::string> args = {TAVREL_BIN_DIR "/modemsim", "--link", Link(), "--spool", Spool(),
                                     "--sent-log", dir_ / "sent.jsonl", "--traffic-log", dir_ / "traffic.jsonl"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::string errors = dir_ / "stderr.txt";
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    stdout_ = pipe_fds[0];
  }

  // The next line of its standard output, or "" when none came in time.
  std::string NextLine(std::chrono::milliseconds limit = 3000ms) {
    auto deadline = Clock::now() + limit;
    for (;;) {
      if (auto end = output_.find('\n'); end != std::string::npos) {
        std::string line = output_.substr(0, end);
        output_.erase(0, end + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd p{stdout_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char buffer[256];
      ssize_t n = read(stdout_, buffer, sizeof buffer);
      if (n <= 0) return "";
      output_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Stops it as the station's scripts do; its exit status, -1 if it had to be killed.
  int Stop() {
    if (pid_ <= 0) return exit_status_;
    kill(pid_, SIGTERM);
    int status = 0;
    bool ended = Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 5000ms);
    if (!ended) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    exit_status_ = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_status_;
  }

  int Wait() {
    int status = 0;
    bool ended = Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 5000ms);
    if (!ended) return Stop();
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Drops a spool file in the way writers must, and waits until it is taken.
  bool Drop(const std::string& name, const std::string& content) {
    fs::path temporary = Spool() / ".writing";
    std::ofstream(temporary, std::ios::binary) << content;
    fs::rename(temporary, Spool() / name);
    return Eventually([&] { return !fs::exists(Spool() / name); });
  }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
  int stdout_ = -1;
  int exit_status_ = -1;
  std::string output_;
};

// The station's side of the line: raw 8N1, reads timed with poll.
class Line {
 public:
  explicit Line(const fs::path& device) {
    fd_ = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return;
    termios settings{};
    tcgetattr(fd_, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    tcsetattr(fd_, TCSANOW, &settings);
  }
  ~Line() {
    if (fd_ >= 0) close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }

  void Write(const std::string& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  // Reads until the text ends with `ending`, or until `limit` passes.
  std::string ReadUntil(const std::string& ending, std::chrono::milliseconds limit = 2000ms) {
    std::string text;
    auto deadline = Clock::now() + limit;
    while (ending.empty() || !text.ends_with(ending)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[512];
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

  std::string Exchange(const std::string& command, const std::string& ending = "\r\n") {
    Write(command);
    return ReadUntil(ending);
  }

 private:
  int fd_ = -1;
};

double NowMs() {
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

TEST(ModemsimProgram, TalksPduModeThroughItsLink) {
  Modemsim sim;
  double started = NowMs();
  sim.Start({});
  ASSERT_EQ(sim.NextLine(), "ready " + sim.Link().string());
  ASSERT_TRUE(fs::is_symlink(sim.Link()));
  Line line(sim.Link());
  ASSERT_TRUE(line.IsOpen());

  EXPECT_EQ(line.Exchange("AT\r\n", "OK\r\n"), "AT\r\r\nOK\r\n");

  EXPECT_EQ(line.Exchange("at+cmgs=18\r\n", "> "), "at+cmgs=18\r\r\n> ");
  EXPECT_EQ(line.Exchange(std::string(kAbPdu) + "\x1A", "OK\r\n"), std::string(kAbPdu) + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(line.Exchange("at+cmgs=17\r\n", "> "), "at+cmgs=17\r\r\n> ");
  EXPECT_EQ(line.Exchange(std::string(kAbPdu) + "\x1A", "304\r\n"), std::string(kAbPdu) + "\r\n+CMS ERROR: 304\r\n");

  ASSERT_TRUE(sim.Drop("1.sms", "13800000000\n\xE4\xBD\xA0\xE5\xA5\xBD"));  // 你好
  ASSERT_TRUE(sim.Drop("2.sms", "Bank\nhello"));
  std::string listing = line.Exchange("at+cmgl=0\r\n", "OK\r\n");
  std::istringstream lines(listing);
  std::vector<std::string> texts, senders;
  for (std::string row; std::getline(lines, row);) {
    if (!row.starts_with("+CMGL: ")) continue;
    std::string pdu;
    std::getline(lines, pdu);
    pdu.pop_back();  // CR
    DecodeResult decoded = DecodePdu(pdu);
    ASSERT_TRUE(decoded.pdu) << decoded.error;
    texts.push_back(ToUtf8(decoded.pdu->text));
    senders.push_back(decoded.pdu->address.Display());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"\xE4\xBD\xA0\xE5\xA5\xBD", "hello"})) << listing;
  EXPECT_EQ(senders, (std::vector<std::string>{"+8613800000000", "Bank"}));
  EXPECT_EQ(line.Exchange("at+cmgd=1\r\n", "OK\r\n"), "at+cmgd=1\r\r\nOK\r\n");
  EXPECT_EQ(line.Exchange("at+cmgd=1\r\n", "321\r\n"), "at+cmgd=1\r\r\n+CMS ERROR: 321\r\n");

  // A spool file that cannot be understood is kept aside, not lost.
  std::ofstream(sim.Spool() / ".w") << "+86x\nhi";
  fs::rename(sim.Spool() / ".w", sim.Spool() / "3.sms");
  EXPECT_TRUE(Eventually([&] { return fs::exists(sim.Spool() / "3.sms.bad"); }));

  EXPECT_EQ(sim.Stop(), 0);
  double stopped = NowMs();
  EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Link())));

  EXPECT_EQ(ReadFile(sim.Dir() / "sent.jsonl"),
            "{\"smsc\":\"+8613800000000\",\"to\":\"13800000000\",\"coding\":\"ucs2\",\"validity\":\"relative 1440 "
            "min\",\"text\":\"ab\",\"pdu\":\"" + std::string(kAbPdu) + "\",\"announced\":18,\"ref\":1}\n");

  // Every chunk is in the traffic log, stamped with the monotonic clock.
  std::istringstream traffic(ReadFile(sim.Dir() / "traffic.jsonl"));
  int in = 0, out = 0;
  for (std::string row; std::getline(traffic, row);) {
    double ms = std::stod(row.substr(row.find("\"ms\":") + 5));
    EXPECT_GE(ms, started);
    EXPECT_LE(ms, stopped);
    in += row.find("\"dir\":\"in\"") != std::string::npos;
    out += row.find("\"dir\":\"out\"") != std::string::npos;
  }
  EXPECT_GE(in, 8);
  EXPECT_GE(out, 8);
  EXPECT_NE(ReadFile(sim.Dir() / "traffic.jsonl").find("\"data\":\"at+cmgl=0\\r\\n\""), std::string::npos);
}

TEST(ModemsimProgram, FaultsFromTheCommandLineAndTheSpool) {
  Modemsim sim;
  sim.Start({"--fail-sends", "1"});
  ASSERT_EQ(sim.NextLine(), "ready " + sim.Link().string());
  {
    Line line(sim.Link());
    ASSERT_TRUE(line.IsOpen());
    line.Exchange("at+cmgs=18\r\n", "> ");
    EXPECT_EQ(line.Exchange(std::string(kAbPdu) + "\x1A", "ERROR\r\n"), std::string(kAbPdu) + "\r\nERROR\r\n");
    line.Exchange("at+cmgs=18\r\n", "> ");
    EXPECT_TRUE(line.Exchange(std::string(kAbPdu) + "\x1A", "OK\r\n").ends_with("+CMGS: 1\r\n\r\nOK\r\n"));

    ASSERT_TRUE(sim.Drop("a.ctl", "silent on\n"));
    line.Write("AT\r\n");
    EXPECT_EQ(line.ReadUntil("", 150ms), "");
    ASSERT_TRUE(sim.Drop("b.ctl", "silent off\n"));
    EXPECT_EQ(line.Exchange("AT\r\n", "OK\r\n"), "AT\r\r\nOK\r\n");

    ASSERT_TRUE(sim.Drop("m.sms", "13800000000\nstill here"));
    ASSERT_TRUE(sim.Drop("v.ctl", "vanish 100"));
    EXPECT_EQ(sim.NextLine(), "gone " + sim.Link().string());
    EXPECT_EQ(line.ReadUntil("", 100ms), "");  // the old device is dead
  }
  EXPECT_EQ(sim.NextLine(), "ready " + sim.Link().string());
  Line again(sim.Link());
  ASSERT_TRUE(again.IsOpen());
  EXPECT_NE(again.Exchange("at+cmgl=0\r\n", "OK\r\n").find("+CMGL: 1,0,,"), std::string::npos);
  EXPECT_EQ(ReadFile(sim.Dir() / "sent.jsonl").find("\"ref\":1"), ReadFile(sim.Dir() / "sent.jsonl").rfind("\"ref\""));

  ASSERT_TRUE(sim.Drop("z.ctl", "quit"));
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Link())));
}

TEST(ModemsimProgram, VanishesForGoodAfterItsLastCommandIsRead) {
  Modemsim sim;
  sim.Start({"--vanish-after", "2"});
  ASSERT_EQ(sim.NextLine(), "ready " + sim.Link().string());
  Line line(sim.Link());
  EXPECT_EQ(line.Exchange("AT\r\n", "OK\r\n"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(line.Exchange("AT+CMGF=0\r\n", "OK\r\n"), "AT+CMGF=0\r\r\nOK\r\n");
  EXPECT_EQ(sim.NextLine(), "gone " + sim.Link().string());
  EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Link())));
  EXPECT_EQ(sim.NextLine(300ms), "");  // for good
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(ModemsimProgram, NeverReplacesAFileThatIsNoLink) {
  Modemsim sim;
  std::ofstream(sim.Link()) << "precious";
  sim.Start({});
  EXPECT_EQ(sim.Wait(), 1);
  EXPECT_EQ(ReadFile(sim.Link()), "precious");
  EXPECT_NE(ReadFile(sim.Dir() / "stderr.txt").find("is not a symbolic link"), std::string::npos);
}

TEST(ModemsimProgram, PacedSendsReportsIndicationsAndItsStorageOnDisk) {
  // 20 s delays at the pacing clock's scale take 20 ms; unscaled, the
  // reads below would give up long before.
  setenv("TAVREL_TIME_SCALE", "0.001", 1);
  Modemsim sim;
  fs::path state = sim.Dir() / "state.jsonl";
  sim.Start({"--state", state, "--cnmi", "2,1,0,1,0", "--cms-error", "13000000001=21", "--prompt-delay", "20000",
             "--result-delay", "20000"});
  unsetenv("TAVREL_TIME_SCALE");
  ASSERT_EQ(sim.NextLine(), "ready " + sim.Link().string());
  EXPECT_EQ(ReadFile(state), "");
  Line line(sim.Link());
  ASSERT_TRUE(line.IsOpen());

  // The second of three parts only, announced as it is stored.
  ASSERT_TRUE(sim.Drop("a.msg", "from: 95588\nref: 7\npart-size: 5\nparts: 2\n\nhello world"));
  EXPECT_EQ(line.ReadUntil("\r\n+CMTI: \"SM\",1\r\n"), "\r\n+CMTI: \"SM\",1\r\n");
  std::string stored = ReadFile(state);
  EXPECT_NE(stored.find("{\"index\":1,\"stat\":0,"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"from\":\"95588\",\"coding\":\"7bit\",\"text\":\" worl\",\"udh\":\"0003070302\""),
            std::string::npos) << stored;

  // A send asking for a report: its result after the delay, then +CDS.
  const std::string asks = "0891683108000000F031000B813108000000F00008A70400610062";
  EXPECT_EQ(line.Exchange("at+cmgs=18\r", "> "), "at+cmgs=18\r\r\n> ");
  line.Write(asks + "\x1A");
  std::string answer;
  auto lines = [&] {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = answer.find("\r\n", at)) != std::string::npos; at += 2) ++count;
    return count;
  };
  for (int reads = 0; reads < 10 && lines() < 7; ++reads) answer += line.ReadUntil("\r\n");
  std::string result = asks + "\r\n+CMGS: 1\r\n\r\nOK\r\n";
  ASSERT_TRUE(answer.starts_with(result + "\r\n+CDS: 25\r\n")) << answer;
  std::string cds = answer.substr(result.size());
  DecodeResult report = DecodePdu(cds.substr(12, cds.size() - 14));
  ASSERT_TRUE(report.pdu) << report.error;
  EXPECT_EQ(report.pdu->message_reference, 1);

  const std::string refused = "0891683108000000F011000B813100000000F10008A70400610062";
  line.Exchange("at+cmgs=18\r", "> ");
  EXPECT_EQ(line.Exchange(refused + "\x1A", "21\r\n"), refused + "\r\n+CMS ERROR: 21\r\n");

  ASSERT_TRUE(sim.Drop("b.ctl", "ring\nsay +CSQ: 20,99\n"));
  EXPECT_EQ(line.ReadUntil("99\r\n"), "\r\nRING\r\n\r\n+CSQ: 20,99\r\n");

  // The message stays until it is deleted, and the state file follows.
  EXPECT_NE(line.Exchange("at+cmgl=4\r", "OK\r\n").find("+CMGL: 1,0,,"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return ReadFile(state).find("\"stat\":1,") != std::string::npos; }));
  EXPECT_EQ(line.Exchange("at+cmgd=1\r", "OK\r\n"), "at+cmgd=1\r\r\nOK\r\n");
  EXPECT_TRUE(Eventually([&] { return ReadFile(state).empty(); }));

  EXPECT_EQ(sim.Stop(), 0);
  std::string sent = ReadFile(sim.Dir() / "sent.jsonl");
  EXPECT_TRUE(sent.ends_with("\"announced\":18,\"ref\":1,\"srr\":true}\n")) << sent;
  EXPECT_EQ(sent.find('\n'), sent.size() - 1);  // the refused send is not there
}

}  // namespace
}  // namespace modemsim
