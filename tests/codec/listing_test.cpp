// The +CMGL listing cut into messages, on modem transcripts kept as files in
// tests/codec/listings/, each named for what it covers.
#include "engine/codec/cmgl_listing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/codec/sms_decoder.h"
#include "platform/codepage.h"

namespace tavrel {
namespace {

std::string Transcript(const std::string& name) {
  std::ifstream in(std::string(TAVREL_SOURCE_DIR) + "/tests/codec/listings/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Message {
  std::string index;
  int stat;
  int header_line, pdu_line;
  std::string sender, text;  // decoded from the PDU line; text in UTF-8
};

struct Skipped {
  int line;
  ReplyLineKind kind;
};

TEST(ParseCmglListing, CutsTranscriptsIntoMessages) {
  using enum ListingNoise;
  using K = ReplyLineKind;
  const Message kHello1{"1", 0, 2, 3, "13912345678", "你好"};
  const Message kHello4{"4", 0, 3, 4, "13912345678", "你好"};
  struct Row {
    const char* file;
    ListingNoise noise;
    std::vector<Message> messages;
    std::vector<Skipped> skipped;
    ListingEnd end;
    int end_line;
    std::optional<ReplyLineKind> final_result;
    int error = -1;
  };
  const std::vector<Row> rows = {
      {"cmgl-two-unread-ucs2.txt", kEndsListing,
       {kHello1, {"2", 0, 4, 5, "13012312312", "*0001"}}, {}, ListingEnd::kNotAHeader, 6, K::kOk},
      {"cmgl-two-unread-ucs2.txt", kSkipped,
       {kHello1, {"2", 0, 4, 5, "13012312312", "*0001"}}, {}, ListingEnd::kFinalResult, 7, K::kOk},
      {"cmgl-empty.txt", kEndsListing, {}, {}, ListingEnd::kNotAHeader, 2, K::kOk},
      {"cmgl-empty.txt", kSkipped, {}, {}, ListingEnd::kFinalResult, 2, K::kOk},
      {"cmgl-modem-error.txt", kEndsListing, {}, {}, ListingEnd::kNotAHeader, 2, K::kCmsError, 310},
      {"cmgl-modem-error.txt", kSkipped, {}, {}, ListingEnd::kFinalResult, 2, K::kCmsError, 310},
      // The second PDU line never ended: its message stays on the modem.
      {"cmgl-cut.txt", kEndsListing, {kHello1}, {}, ListingEnd::kNoPduLine, 4, std::nullopt},
      {"cmgl-cut.txt", kSkipped, {kHello1}, {}, ListingEnd::kNoPduLine, 4, std::nullopt},
      // +CMTI between messages, RING between a header and its PDU, and a +CDS
      // with its own PDU line.
      {"cmgl-unsolicited-lines.txt", kEndsListing, {kHello1}, {}, ListingEnd::kNotAHeader, 4,
       K::kOk},
      {"cmgl-unsolicited-lines.txt", kSkipped,
       {kHello1, {"2", 0, 5, 7, "+18005551212", "hellohello"}},
       {{4, K::kUnsolicited}, {6, K::kUnsolicited}, {8, K::kUnsolicited}, {9, K::kOther}},
       ListingEnd::kFinalResult, 11, K::kOk},
      // A blank line before the first header, garbage between the messages
      // and between a header and its PDU.
      {"cmgl-noise-between-lines.txt", kEndsListing, {}, {}, ListingEnd::kNotAHeader, 2, K::kOk},
      {"cmgl-noise-between-lines.txt", kSkipped,
       {kHello4, {"9", 0, 6, 8, "+18005551212", "hellohello"}},
       {{5, K::kOther}, {7, K::kOther}}, ListingEnd::kFinalResult, 10, K::kOk},
      // "at+cmgl=4": read and unread messages, told apart by <stat>.
      {"cmgl-all-read-and-unread.txt", kSkipped,
       {{"1", 1, 2, 3, "+18005551212", "hellohello"}, {"2", 0, 4, 5, "13912345678", "你好"}}, {},
       ListingEnd::kFinalResult, 7, K::kOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + (row.noise == kSkipped ? ", noise skipped" : ""));
    const CmglListing listing = ParseCmglListing(Transcript(row.file), row.noise);
    ASSERT_EQ(listing.entries.size(), row.messages.size());
    for (std::size_t i = 0; i < row.messages.size(); ++i) {
      const ListingEntry& entry = listing.entries[i];
      const Message& message = row.messages[i];
      EXPECT_EQ(entry.index, message.index);
      EXPECT_EQ(entry.stat, message.stat);
      EXPECT_EQ(entry.header_line, message.header_line);
      EXPECT_EQ(entry.pdu_line, message.pdu_line);
      EXPECT_TRUE(entry.header.starts_with("+CMGL: " + message.index + ",")) << entry.header;
      const DecodedSms sms = DecodeSmsPdu(entry.pdu);
      EXPECT_EQ(sms.error, "");
      EXPECT_EQ(SenderRecordText(sms.sender), message.sender);
      EXPECT_EQ(sms.text, Gbk(message.text));
    }
    ASSERT_EQ(listing.skipped.size(), row.skipped.size());
    for (std::size_t i = 0; i < row.skipped.size(); ++i) {
      EXPECT_EQ(listing.skipped[i].line, row.skipped[i].line);
      EXPECT_EQ(listing.skipped[i].kind, row.skipped[i].kind);
    }
    EXPECT_EQ(listing.stop.reason, row.end);
    EXPECT_EQ(listing.stop.line, row.end_line);
    ASSERT_EQ(listing.final_result.has_value(), row.final_result.has_value());
    if (row.final_result) {
      EXPECT_EQ(listing.final_result->kind, *row.final_result);
      EXPECT_EQ(listing.final_result->error, row.error);
    }
  }
}

// The receive phase traces the lines where the listing ended exactly as
// SplitField gives them, the whole text included when there is no line.
TEST(ParseCmglListing, KeepsTheSplitFieldResultsWhereItStops) {
  const std::string cut = Transcript("cmgl-cut.txt");
  const ListingStop stop = ParseCmglListing(cut, ListingNoise::kEndsListing).stop;
  EXPECT_EQ(stop.header.result, 0);
  EXPECT_EQ(stop.header.field, "+CMGL: 2,0,,30\r");
  ASSERT_TRUE(stop.first_field.has_value());
  EXPECT_EQ(stop.first_field->field, "+CMGL: 2");
  EXPECT_EQ(stop.pdu_line, 5);
  ASSERT_TRUE(stop.pdu.has_value());
  EXPECT_EQ(stop.pdu->result, -1);
  EXPECT_EQ(stop.pdu->field, cut);

  const ListingStop silent = ParseCmglListing("", ListingNoise::kEndsListing).stop;
  EXPECT_EQ(silent.reason, ListingEnd::kNoLine);
  EXPECT_EQ(silent.header.result, -1);
  EXPECT_FALSE(silent.first_field.has_value());
  EXPECT_FALSE(silent.pdu.has_value());

  const ListingStop ok =
      ParseCmglListing(Transcript("cmgl-empty.txt"), ListingNoise::kEndsListing).stop;
  EXPECT_EQ(ok.header.field, "OK\r");
  ASSERT_TRUE(ok.first_field.has_value());
  EXPECT_EQ(ok.first_field->result, -1);
  EXPECT_EQ(ok.first_field->field, "OK\r");
}

}  // namespace
}  // namespace tavrel
