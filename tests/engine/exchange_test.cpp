// The two pacings of the exchange against a scripted modem, and how a reply
// to a PDU is judged.
#include "engine/exchange.h"

#include <gtest/gtest.h>

#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using testing::RecordingPacer;
using testing::ScriptedPort;

TEST(JudgeSubmitReply, SaysWhatEachAnswerCountsFor) {
  struct Row {
    const char* reply;
    SubmitVerdict verdict;
    const char* detail;
    bool check_modem;
  };
  const Row rows[] = {
      {"\r\n+CMGS: 17\r\n\r\nOK\r\n", SubmitVerdict::kSent, "17", false},
      {"\r\nOK\r\n", SubmitVerdict::kSent, "", false},
      // An indication after the result does not hide it.
      {"\r\n+CMGS: 3\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",2\r\n", SubmitVerdict::kSent, "3", false},
      {"\r\nERROR\r\n", SubmitVerdict::kRefused, "ERROR", false},
      {"\r\n+CMS ERROR: 38\r\n", SubmitVerdict::kRefused, "+CMS ERROR: 38", false},
      {"\r\n+CMS ERROR: 21\r\n", SubmitVerdict::kPermanent, "+CMS ERROR: 21", false},
      {"\r\n+CMS ERROR: 50\r\n", SubmitVerdict::kPermanent, "+CMS ERROR: 50", false},
      {"\r\n+CMS ERROR: 331\r\n", SubmitVerdict::kStationSide, "+CMS ERROR: 331", false},
      {"", SubmitVerdict::kStationSide, "no answer", true},
      {"#$%&noise", SubmitVerdict::kStationSide, "unreadable answer", true},
  };
  for (const Row& row : rows) {
    const SubmitResult result = JudgeSubmitReply(row.reply);
    EXPECT_EQ(result.verdict, row.verdict) << row.reply;
    EXPECT_EQ(result.detail, row.detail) << row.reply;
    EXPECT_EQ(result.check_modem, row.check_modem) << row.reply;
  }
}

class PromptExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override { trace_.Open(dir_ / "sms.log"); }
  std::unique_ptr<Exchange> Make() { return MakeExchange(Pace::kPrompt, port_, pacer_, trace_); }

  testing::TempDir dir_;
  ScriptedPort port_;
  RecordingPacer pacer_;
  EngineLog trace_;
  const SubmitPdu pdu_{"0891683108000000F011000B813110322113F20008A7044F60597D\x1A", 18};
};

TEST_F(PromptExchangeTest, WaitsForThePromptAndTheResultPastUnsolicitedLines) {
  port_.Script({"at+cmgs=18\r", "\r\n+CMTI: \"SM\",3\r\n", "\r\n> ",
                "0891\x1A\r\nRING\r\n", "\r\n+CMGS: 42\r\n", "\r\nOK\r\n"});
  const SubmitResult result = Make()->Submit(pdu_, 0);
  EXPECT_EQ(result.verdict, SubmitVerdict::kSent);
  EXPECT_EQ(result.detail, "42");
  EXPECT_EQ(port_.written, (std::vector<std::string>{"at+cmgs=18\r\n", pdu_.text}));
  EXPECT_TRUE(pacer_.pauses.empty());  // no fixed pause at the modem's pace
  EXPECT_EQ(port_.left(), 0u);
}

TEST_F(PromptExchangeTest, APromptThatNeverComesIsLeftWithEscAndNeverGetsThePdu) {
  port_.Script({"at+cmgs=18\r"});  // then silence
  const SubmitResult result = Make()->Submit(pdu_, 0);
  EXPECT_EQ(result.verdict, SubmitVerdict::kStationSide);
  EXPECT_EQ(result.detail, "no prompt");
  EXPECT_TRUE(result.check_modem);
  EXPECT_EQ(port_.written, (std::vector<std::string>{"at+cmgs=18\r\n", "\x1b"}));

  // A command refused before any prompt is an answer: one attempt.
  port_.written.clear();
  port_.Script({"\r\nERROR\r\n"});
  EXPECT_EQ(Make()->Submit(pdu_, 1).verdict, SubmitVerdict::kRefused);
  EXPECT_EQ(port_.written, std::vector<std::string>{"at+cmgs=18\r\n"});
}

TEST_F(PromptExchangeTest, ListingAndDeleteRepliesAreReadUpToTheirFinalResult) {
  const std::string listing = "at+cmgl=0\r\r\n+CMGL: 1,0,,5\r\n0891AB\r\n\r\nOK\r\n";
  port_.Script({listing, "at+cmgd=1\r\r\nOK\r\n", "left for the next command"});
  std::unique_ptr<Exchange> exchange = Make();
  EXPECT_EQ(exchange->ReadListing("at+cmgl=0\r\n"), listing);
  EXPECT_EQ(exchange->ReadDeleteReply(), "at+cmgd=1\r\r\nOK\r\n");
  EXPECT_EQ(port_.left(), 1u);
}

}  // namespace
}  // namespace tavrel
