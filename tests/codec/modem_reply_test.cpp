// The final-result grammar on raw modem replies, unsolicited lines between.
#include "engine/codec/modem_reply.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tavrel {
namespace {

constexpr const char* kSubmit =
    "0891683108000000F011000B813108000000F00008A70400610062\x1A";

TEST(FindFinalResult, FindsTheResultThatEndsACommand) {
  using K = ReplyLineKind;
  struct Row {
    const char* what;
    std::string reply;
    std::optional<K> kind;  // nothing: the command is still running
    int error = -1;
    int message_reference = -1;
  };
  const std::vector<Row> rows = {
      {"plain OK", "\r\nOK\r\n", K::kOk},
      {"echo, prompt, PDU echo, reference",
       std::string("at+cmgs=18\r\r\n> ") + kSubmit + "\r\n+CMGS: 12\r\n\r\nOK\r\n", K::kOk, -1, 12},
      {"unsolicited lines between",
       "\r\n+CMTI: \"SM\",4\r\n\r\nRING\r\n\r\n+CMGS: 7\r\n\r\n+CDSI: \"SR\",2\r\n\r\nOK\r\n",
       K::kOk, -1, 7},
      {"a status report and its PDU between",
       "\r\n+CMGS: 200\r\n\r\n+CDS: 25\r\n0006D60B911326880736F4111011719551401110117195714000\r\n"
       "\r\nOK\r\n",
       K::kOk, -1, 200},
      {"ERROR", "\r\nERROR\r\n", K::kError},
      {"+CMS ERROR with a cause",
       std::string("at+cmgs=18\r\r\n> ") + kSubmit + "\r\n+CMS ERROR: 500\r\n", K::kCmsError, 500},
      {"+CMS ERROR without a blank", "\r\n+CMS ERROR:38\r\n", K::kCmsError, 38},
      {"+CMS ERROR in words", "\r\n+CMS ERROR: SIM not inserted\r\n", K::kCmsError, -1},
      {"+CME ERROR", "\r\n+CME ERROR: 10\r\n", K::kCmeError, 10},
      {"the first result counts", "\r\nERROR\r\n\r\nOK\r\n", K::kError},
      {"nothing yet", "", std::nullopt},
      {"prompt only", "at+cmgs=18\r\r\n> ", std::nullopt},
      {"reference without result", "\r\n+CMGS: 7\r\n", std::nullopt},
      {"OK still arriving", "\r\n+CMGS: 7\r\n\r\nOK", std::nullopt},
      {"OK before its LF", "\r\nOK\r", std::nullopt},
      {"OK as part of a word", "\r\nOKAY\r\n", std::nullopt},
      {"ERROR inside noise", "\r\n#ERROR 3\r\n", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::optional<FinalResult> result = FindFinalResult(row.reply);
    ASSERT_EQ(result.has_value(), row.kind.has_value());
    if (!result) continue;
    EXPECT_EQ(result->kind, *row.kind);
    EXPECT_EQ(result->error, row.error);
    EXPECT_EQ(result->message_reference, row.message_reference);
  }
}

// Fed a byte at a time, the reply is complete exactly when the final LF is in.
TEST(FindFinalResult, AnswersOnceTheLastLineEnds) {
  const std::string reply = "\r\n+CMTI: \"SM\",4\r\n\r\n+CMGS: 9\r\n\r\nOK\r\n";
  for (std::size_t n = 0; n < reply.size(); ++n) {
    EXPECT_FALSE(FindFinalResult(reply.substr(0, n)).has_value()) << n;
  }
  const std::optional<FinalResult> done = FindFinalResult(reply + "\r\nRING\r\n");
  ASSERT_TRUE(done.has_value());
  EXPECT_EQ(done->end, reply.size());
  EXPECT_EQ(done->message_reference, 9);
}

TEST(PromptSeen, WantsTheGreaterThanAndTheBlankAtALineStart) {
  EXPECT_TRUE(PromptSeen("at+cmgs=18\r\r\n> "));
  EXPECT_TRUE(PromptSeen("\r\n> "));
  EXPECT_TRUE(PromptSeen("> "));
  EXPECT_FALSE(PromptSeen("at+cmgs=18\r\r\n>"));
  EXPECT_FALSE(PromptSeen("\r\nERROR\r\n"));
  EXPECT_FALSE(PromptSeen("at+cmgs=18> "));
}

TEST(ClassifyCmsError, SortsCausesByWhoTheyCountAgainst) {
  for (int cause : {1, 8, 10, 21, 29, 30, 50}) {
    EXPECT_EQ(ClassifyCmsError(cause), CmsErrorClass::kPermanent) << cause;
  }
  for (int cause : {300, 301, 310, 322, 330, 331}) {
    EXPECT_EQ(ClassifyCmsError(cause), CmsErrorClass::kStationSide) << cause;
  }
  for (int cause : {-1, 0, 2, 27, 38, 41, 42, 47, 299, 332, 500, 512}) {
    EXPECT_EQ(ClassifyCmsError(cause), CmsErrorClass::kOrdinary) << cause;
  }
}

}  // namespace
}  // namespace tavrel
