#include "engine/link.h"

#include <gtest/gtest.h>

#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using testing::FloodingPort;
using testing::RecordingPacer;
using testing::ScriptedPort;
using testing::Slurp;
using testing::TempDir;

TEST(ReplyEndsWithOk, JudgesOnlyTheLastLine) {
  struct Row {
    std::string reply;
    bool ok;
  } rows[] = {
      {"OK\r\n", true},
      {"\r\n+CMGS: 12\r\n\r\nOK\r\n", true},
      {"at+cmgs=17\r\r\n> 0891683108...\x1a\r\n+CMGS: 3\r\n\r\nOK\r\n", true},
      {"ERROR\r\n", false},
      {"\r\n+CMS ERROR: 304\r\n", false},
      {"\r\nOK", false},   // no line end
      {"OK\r", false},     // too short to hold the line end
      {"OK", false},
      {"", false},
      {"OK\r\nxx", false},  // something came after the OK line
      {"ok\r\n", false},    // the modem answers in capitals
  };
  for (const auto& row : rows) EXPECT_EQ(ReplyEndsWithOk(row.reply), row.ok) << row.reply;
}

TEST(WriteCommand, WritesTheTextUpToItsEnd) {
  ScriptedPort port;
  WriteCommand(port, "at+cmgl=0\r\n");
  WriteCommand(port, std::string("at+cmgd=1\r\n\0junk", 16));
  ASSERT_EQ(port.written.size(), 2u);
  EXPECT_EQ(port.written[0], "at+cmgl=0\r\n");
  EXPECT_EQ(port.written[1], "at+cmgd=1\r\n");
}

TEST(ReadReply, KeepsReadingAfterEveryFullChunk) {
  ScriptedPort port;
  const std::string full(512, 'a');
  port.Script({full, "OK\r\n", "never read"});
  EXPECT_EQ(ReadReply(port), full + "OK\r\n");
  EXPECT_EQ(port.reads, 2);
  EXPECT_EQ(port.requested, (std::vector<std::size_t>{512, 512}));

  // A reply that is an exact multiple of 512 costs one more (empty) read.
  ScriptedPort exact;
  exact.Script({std::string(1024, 'b')});
  EXPECT_EQ(ReadReply(exact).size(), 1024u);
  EXPECT_EQ(exact.reads, 3);

  // A short first read ends the reply at once.
  ScriptedPort short_reply;
  short_reply.Script({"\r\nOK\r\n", "later"});
  EXPECT_EQ(ReadReply(short_reply), "\r\nOK\r\n");
  EXPECT_EQ(short_reply.reads, 1);
}

TEST(ReadReply, NulEndsTheTextButNotTheReading) {
  ScriptedPort port;
  std::string chunk(512, 'c');
  chunk[10] = '\0';
  port.Script({chunk, "OK\r\n"});
  // The full-length read is followed by another, as the count read decides.
  EXPECT_EQ(ReadReply(port), std::string(10, 'c') + "OK\r\n");
  EXPECT_EQ(port.reads, 2);
}

TEST(ReadReply, StopsAtItsFieldWhenTheModemFloods) {
  FloodingPort port;
  const std::string reply = ReadReply(port);
  EXPECT_EQ(reply.size(), kReplyLimit);
  EXPECT_LE(port.reads, 21);
}

TEST(ReadListing, DropsAChunkEqualToTheOneBefore) {
  TempDir dir;
  EngineLog trace;
  ASSERT_TRUE(trace.Open(dir / "sms.log"));
  RecordingPacer pacer;
  const std::string first(512, 'x');
  const std::string second = "+CMGL: 1,0,,24\r\n0891...\r\n\r\nOK\r\n";

  ScriptedPort port;
  port.Script({first, first, first, second});
  EXPECT_EQ(ReadListing(port, pacer, trace, kListCommand), first + second);
  EXPECT_EQ(port.reads, 4);
  // Every chunk is read after a pause of its own.
  EXPECT_EQ(pacer.pauses, (std::vector<std::chrono::milliseconds>(4, kCommandPause)));

  // The first chunk is compared with the command text: an echo that is the
  // command and nothing else is not listed.
  ScriptedPort echo_only;
  echo_only.Script({std::string(kListCommand)});
  EXPECT_EQ(ReadListing(echo_only, pacer, trace, kListCommand), "");
  ScriptedPort silent;
  EXPECT_EQ(ReadListing(silent, pacer, trace, kListCommand), "");
}

TEST(ReadListing, TracesEachChunkAndTheWholeListing) {
  TempDir dir;
  {
    EngineLog trace;
    ASSERT_TRUE(trace.Open(dir / "sms.log"));
    RecordingPacer pacer;
    ScriptedPort port;
    port.Script({"at+cmgl=0\r\r\nOK\r\n"});
    ReadListing(port, pacer, trace, kListCommand);
  }
  EXPECT_EQ(Slurp(dir / "sms.log"),
            "strmsg--####=at+cmgl=0\r\r\r\nOK\r\r\n\r\n"
            "---------------------mmm-@@@@=at+cmgl=0\r\r\r\nOK\r\r\n\r\n"
            "read....#############cmgl=at+cmgl=0\r\r\r\nOK\r\r\n\r\n"
            "str_end=K\r\r\n\r\n");
}

TEST(ReadListing, StaysWithinItsFieldAndShortListingsHaveAShortEnd) {
  TempDir dir;
  EngineLog trace;
  ASSERT_TRUE(trace.Open(dir / "sms.log"));
  RecordingPacer pacer;
  // Chunks that keep changing and are always full would never end the
  // listing; its field ends it instead.
  class Counting : public Port {
   public:
    void Write(std::string_view) override {}
    std::string Read(std::size_t max) override { return std::string(max, static_cast<char>('a' + n++ % 26)); }
    int n = 0;
  } port;
  EXPECT_EQ(ReadListing(port, pacer, trace, kListCommand).size(), kReplyLimit);
  EXPECT_LE(port.n, 21);

  ScriptedPort tiny;
  tiny.Script({"K"});
  EXPECT_EQ(ReadListing(tiny, pacer, trace, kListCommand), "K");
}

TEST(SingleRead, ReadsOnceUpToAChunk) {
  ScriptedPort port;
  port.Script({std::string(700, 'd')});
  EXPECT_EQ(SingleRead(port).size(), 512u);
  EXPECT_EQ(port.reads, 1);
}

TEST(EngineLog, WritesTextModeLinesThatAreOnDiskAtOnce) {
  TempDir dir;
  const std::string path = dir / "sms.log";
  {
    std::FILE* old = std::fopen(path.c_str(), "wb");
    std::fputs("from the last run\r\n", old);
    std::fclose(old);
  }
  EngineLog trace;
  RecordingPacer pacer;
  trace.SetPacer(&pacer);
  ASSERT_TRUE(trace.Open(path));
  trace.Printf("com=...%s\n", "COM1");
  // Readable while the log is still open, with the old run gone.
  EXPECT_EQ(Slurp(path), "com=...COM1\r\n");
  trace.Printf("\n\n\n%s=%ld\n", "x", 7L);
  EXPECT_EQ(Slurp(path), "com=...COM1\r\n\r\n\r\n\r\nx=7\r\n");
  EXPECT_EQ(pacer.checkpoints, 2);

  EngineLog nowhere;
  EXPECT_FALSE(nowhere.Open(dir / "no-such-dir/sms.log"));
  nowhere.Printf("lost %d\n", 1);  // harmless
}

}  // namespace
}  // namespace tavrel
