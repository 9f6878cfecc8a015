// The receive phase and the auto-reply in a temporary working directory,
// against scripted modem listings.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/phases.h"
#include "engine/receive_phase.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "store/record_store.h"
#include "store/text.h"
#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using testing::RecordingPacer;
using testing::ScriptedPort;
using testing::Slurp;
using testing::TempDir;

constexpr const char* kCentrePart = "0891683108000000F0";
constexpr const char* kStamp = "30301291021523";
constexpr const char* kEcho = "at+cmgl=4\r";
constexpr const char* kOk = "\r\nOK\r\n";

// One PDU line of a listing, as a modem writes it before its LF: an
// SMS-DELIVER from the 13-digit international number 86 + national.
std::string DeliverLine(const std::string& national, const std::string& dcs,
                        const std::string& user_data) {
  char length[17];
  std::snprintf(length, sizeof length, "%02zX", user_data.size() / 2);
  std::string digits = "86" + national + "F";
  std::string semi;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) semi += {digits[i + 1], digits[i]};
  return std::string(kCentrePart) + "040D91" + semi + "00" + dcs + kStamp + length + user_data + "\r";
}

std::string Entry(int index, const std::string& pdu_line) {
  return "+CMGL: " + std::to_string(index) + ",0,,23\r\n" + pdu_line + "\n";
}

std::string Listing(const std::vector<std::string>& entries) {
  std::string listing = std::string(kEcho) + "\r\n";
  for (const std::string& e : entries) listing += e;
  return listing + kOk;
}

// Every time of day (two digits, ':', two digits, ':', two digits) as
// "hh:mm:ss", so that stamped texts compare whole.
std::string MaskTimes(std::string text) {
  auto digit = [&](std::size_t i) { return text[i] >= '0' && text[i] <= '9'; };
  for (std::size_t i = 0; i + 8 <= text.size(); ++i) {
    if (digit(i) && digit(i + 1) && text[i + 2] == ':' && digit(i + 3) && digit(i + 4) &&
        text[i + 5] == ':' && digit(i + 6) && digit(i + 7)) {
      text.replace(i, 8, "hh:mm:ss");
    }
  }
  return text;
}

// Remembers, for each delete command, how far recv's counter had got.
class OrderPort : public ScriptedPort {
 public:
  explicit OrderPort(std::string recv_dir) : recv_dir_(std::move(recv_dir)) {}
  void Write(std::string_view bytes) override {
    ScriptedPort::Write(bytes);
    if (bytes.starts_with("at+cmgd=")) counter_at_delete.push_back(ReadCounter(recv_dir_));
  }
  std::vector<std::optional<long>> counter_at_delete;

 private:
  std::string recv_dir_;
};

class BlocksMonitor : public Monitor {
 public:
  void PrependText(const std::string& text, std::size_t reset_above) override {
    blocks.push_back(text);
    resets.push_back(reset_above);
  }
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  std::vector<std::string> blocks;
  std::vector<std::size_t> resets;
};

class ReceivePhaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureDayFolder(station_, day_);
    trace_.Open(At("sms.log"));
  }

  // The listing comes in one piece; every delete is answered OK.
  void Run(long recv_acc, const std::string& listing, int deletes = 0) {
    std::vector<std::string> chunks{listing};
    for (int i = 0; i < deletes; ++i) chunks.push_back("at+cmgd=\r\r\nOK\r\n");
    port_.Script(chunks);
    CycleContext cycle{station_, day_, 0, recv_acc, 0, port_, pacer_, trace_, monitor_};
    ReceivePhase(cycle);
  }

  std::vector<std::string> Deletes() const {
    std::vector<std::string> deletes;
    for (const std::string& w : port_.written) {
      if (w.starts_with("at+cmgd=")) deletes.push_back(w);
    }
    return deletes;
  }

  std::string Recv(const std::string& name) { return Slurp(At(day_) + "/recv/" + name); }
  std::string New(const std::string& name) { return Slurp(At(day_) + "/new/" + name); }

  TempDir dir_;
  const Station station_{dir_.path()};
  std::string At(const std::string& relative) const { return dir_.path() + "/" + relative; }
  const std::string day_ = station_.Today();
  OrderPort port_{MailboxDir(station_, day_, kRecvBox)};
  RecordingPacer pacer_;
  EngineLog trace_;
  BlocksMonitor monitor_;
};

TEST_F(ReceivePhaseTest, TwoMessagesAreDeletedInListingOrderAndFiledAfterTheCounter) {
  std::filesystem::create_directories(At(day_) + "/recv");
  ASSERT_TRUE(WriteCounter(MailboxDir(station_, day_, kRecvBox), 3));
  const std::string chinese = DeliverLine("13012312312", "08", "4F60597D");
  const std::string seven_bit = DeliverLine("13800000000", "00", "E8329BFD06");
  Run(3, Listing({Entry(1, chinese), Entry(7, seven_bit)}), 2);

  EXPECT_EQ(port_.written,
            (std::vector<std::string>{"at+cmgl=4\r\n", "at+cmgd=1\r\n", "at+cmgd=7\r\n"}));
  // Each message is counted before its delete goes out.
  EXPECT_EQ(port_.counter_at_delete, (std::vector<std::optional<long>>{4, 5}));
  EXPECT_EQ(pacer_.pauses,
            (std::vector<std::chrono::milliseconds>{3000ms, 3000ms, 3000ms, 3000ms, 3000ms, 3000ms}));

  EXPECT_EQ(Recv("R4"), "13012312312");
  EXPECT_EQ(Recv("DA4"), Gbk("你好"));
  EXPECT_EQ(Recv("R5"), "13800000000");
  EXPECT_EQ(Recv("DA5"), "hello");
  EXPECT_EQ(Recv("acc"), "5");
  const std::string header = "[HEAD]\r\ntime=" + day_ + " hh:mm:ss\r\nsend= \r\nstat= \r\njrade= \r\n";
  EXPECT_EQ(MaskTimes(Recv("H4")), header);
  EXPECT_EQ(MaskTimes(Recv("H5")), header);
  EXPECT_EQ(ReadRecordTime(At(day_) + "/recv/H5").substr(0, day_.size()), day_);

  ASSERT_EQ(monitor_.blocks.size(), 2u);
  EXPECT_EQ(MaskTimes(monitor_.blocks[0]),
            "4  : " + day_ + " hh:mm:ss          13012312312\r\n    " + Gbk("你好") + "\r\n\r\n");
  EXPECT_TRUE(monitor_.blocks[1].starts_with("5  : ")) << monitor_.blocks[1];
  EXPECT_TRUE(monitor_.blocks[1].ends_with("13800000000\r\n    hello\r\n\r\n")) << monitor_.blocks[1];
  EXPECT_EQ(monitor_.resets, (std::vector<std::size_t>{20480, 20480}));

  const std::string log = Slurp(At("sms.log"));
  for (const std::string& line :
       {std::string("read_cmgl_start... \r\n"), std::string("j=0,jjjjjj.... =+CMGL: 1\r\n"),
        std::string("sends.... =at+cmgd=7\r\r\n\r\n"), Gbk("手机号") + "=3110322113F2\r\n",
        std::string("NRS=[0D],NRI=58\r\n"), std::string("CodeType =[0000]\r\n"),
        Gbk("内容") + "=hello\r\n", std::string("fpr =5,2\r\nfpda =5,2\r\nfpacc =5,2\r\nfph =5,2\r\n"),
        std::string("index=3,cmgdl=") + chinese + "\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  // The listing ends at its blank line, after the two messages.
  EXPECT_NE(log.find("--------------star....  \r\nj=0,jjjjjj.... =\r\r\nj=-1,jjjjjj.... =\r\r\n"),
            std::string::npos);
}

TEST_F(ReceivePhaseTest, ListingsWithoutAUsableMessageEndThePhaseWithoutDeleting) {
  const std::string pdu = DeliverLine("13012312312", "08", "4F60");
  for (const std::string& listing : {
           Listing({}),                                   // the modem had nothing
           std::string(),                                 // a silent modem
           std::string("\r\nERROR\r\n"),                  // an error reply
           std::string(kEcho) + "\r\n+CMGL: 1,0,,23\r\n",  // the PDU line never came
           std::string(kEcho) + "\r\n+CMGL: 1,0,,23\r\n" + pdu,  // nor its line end
       }) {
    port_.written.clear();
    Run(0, listing);
    EXPECT_EQ(port_.written, std::vector<std::string>{"at+cmgl=4\r\n"}) << listing;
  }
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/acc"));
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/R1"));
  EXPECT_TRUE(monitor_.blocks.empty());
}

TEST_F(ReceivePhaseTest, AListingLongerThanItsFieldIsCutAndTheRestStaysOnTheModem) {
  // Thirty messages of 70 UCS-2 characters each make a listing of more than
  // 10239 characters; each text differs so that no two chunks are equal.
  std::vector<std::string> entries;
  std::vector<std::string> texts;
  for (int i = 1; i <= 30; ++i) {
    char unit[5];
    std::snprintf(unit, sizeof unit, "%04X", 0x4E00 + i);
    std::string user_data;
    for (int c = 0; c < 70; ++c) user_data += unit;
    texts.push_back(Utf16ToGbk(std::u16string(70, static_cast<char16_t>(0x4E00 + i))));
    entries.push_back(Entry(i, DeliverLine("13000000" + std::to_string(100 + i), "08", user_data)));
  }
  const std::string listing = Listing(entries);
  ASSERT_GT(listing.size(), 10239u);
  Run(0, listing, 30);

  const std::vector<std::string> deletes = Deletes();
  ASSERT_GE(deletes.size(), 25u);
  ASSERT_LT(deletes.size(), 30u);
  const long filed = static_cast<long>(deletes.size());
  EXPECT_EQ(Recv("acc"), std::to_string(filed));
  for (long m = 1; m <= filed; ++m) {
    EXPECT_EQ(deletes[m - 1], "at+cmgd=" + std::to_string(m) + "\r\n");
    EXPECT_EQ(Recv("DA" + std::to_string(m)), texts[m - 1]) << m;
    EXPECT_EQ(Recv("R" + std::to_string(m)), "13000000" + std::to_string(100 + m));
  }
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/R" + std::to_string(filed + 1)));
}

TEST_F(ReceivePhaseTest, QueriesAreAnsweredThroughTheOutboxAndSentNextCycle) {
  ASSERT_EQ(AddInfoCode(station_, "0001", Gbk("营业时间：九点到五点")), CatalogueResult::Added);
  ASSERT_EQ(AddInfoCode(station_, "12", "twelve"), CatalogueResult::Added);
  const std::string query = DeliverLine("13012312312", "08", "002A0030003000300031");  // *0001
  const std::string unknown = DeliverLine("13800000000", "08", "002A0039003900390039");  // *9999
  const std::string short_code = DeliverLine("13900000000", "00", "AA980C");  // *12 in 7-bit
  Run(0, Listing({Entry(1, query), Entry(2, unknown), Entry(3, short_code)}), 3);

  EXPECT_EQ(Recv("DA1"), "*0001");
  EXPECT_EQ(Recv("DA3"), "*12");
  EXPECT_EQ(New("acc"), "3");
  EXPECT_EQ(New("R1"), "13012312312");
  EXPECT_EQ(New("DA1"), Gbk("营业时间：九点到五点"));
  EXPECT_EQ(MaskTimes(New("H1")), "[HEAD]\r\ntime=" + day_ + " hh:mm:ss\r\nsend= \r\ntype=" + Gbk("查询") +
                                     "\r\nstat=" + Gbk("未发") + "\r\njrade=" + Gbk("紧急") + "\r\n");
  EXPECT_EQ(New("R2"), "13800000000");
  EXPECT_EQ(New("DA2"), Gbk("查询代码错误。"));
  EXPECT_EQ(New("R3"), "13900000000");
  EXPECT_EQ(New("DA3"), "twelve");
  EXPECT_NE(Slurp(At("sms.log")).find(Gbk("查询短信内容") + "=[*0001]" + Gbk("，") + "[0001],[13012312312]\r\n"),
            std::string::npos);

  // The next cycle's send phase takes the replies like any other record.
  std::FILE* settings = std::fopen(At("server.txt").c_str(), "wb");
  ASSERT_NE(settings, nullptr);
  std::fputs("[SET]\r\nSMSCODE=8613800000000\r\n", settings);
  std::fclose(settings);
  port_.written.clear();
  port_.Script({"\r\nOK\r\n", "\r\nOK\r\n", "\r\nOK\r\n"});
  CycleContext next{station_, day_, 0, 3, 3, port_, pacer_, trace_, monitor_};
  SendPhase(next);
  ASSERT_EQ(port_.written.size(), 6u);
  EXPECT_EQ(port_.written[1].substr(26, 12), "3110322113F2");
  EXPECT_NE(port_.written[1].find(TextToUcs2Hex(Gbk("营业时间：九点到五点"))), std::string::npos);
  EXPECT_EQ(port_.written[3].substr(26, 12), "3108000000F0");
  EXPECT_NE(port_.written[3].find(TextToUcs2Hex(Gbk("查询代码错误。"))), std::string::npos);
}

// Part seq of three of a UCS-2 message with reference 0x2A (TS 23.040
// 9.2.3.24.1, IE 00), from 13012312312.
std::string PartLine(int seq, const std::string& ucs2) {
  char header[32];
  std::snprintf(header, sizeof header, "%02zX0500032A03%02X", ucs2.size() / 2 + 6, seq);
  return std::string(kCentrePart) + "440D91683110322113F20008" + kStamp + header + ucs2 + "\r";
}

TEST_F(ReceivePhaseTest, AMessageListedAgainAfterACrashBeforeItsDeleteIsNotFiledTwice) {
  const std::string listing = Listing({Entry(1, DeliverLine("13012312312", "08", "4F60597D"))});
  Run(0, listing, 1);
  Run(1, listing, 1);  // the delete never reached the modem
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=1\r\n"}));
  EXPECT_EQ(Recv("acc"), "1");
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/R2"));
  EXPECT_EQ(monitor_.blocks.size(), 1u);
}

TEST_F(ReceivePhaseTest, AMessageThatCannotBeFiledStaysOnTheModemUntilItCan) {
  const std::string listing = Listing({Entry(4, DeliverLine("13012312312", "08", "4F60597D"))});
  std::filesystem::create_directories(At(day_) + "/recv/DA1");  // DA1 cannot be written
  Run(0, listing, 1);
  EXPECT_TRUE(Deletes().empty());
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/acc"));
  EXPECT_EQ(monitor_.blocks.back(), Gbk("!!! 短信未能存盘，仍留在短信猫中，存储恢复后再存。\r\n"));

  std::filesystem::remove(At(day_) + "/recv/DA1");
  Run(0, listing, 1);
  EXPECT_EQ(Deletes(), std::vector<std::string>{"at+cmgd=4\r\n"});
  EXPECT_EQ(Recv("acc"), "1");
  EXPECT_EQ(Recv("DA1"), Gbk("你好"));
}

TEST_F(ReceivePhaseTest, NoiseStoredOutgoingMessagesAndStatusReportsAreNotFiled) {
  const std::string report = std::string("0006110D91683110325476F8") + kStamp + kStamp + "00\r";
  const std::string listing = std::string(kEcho) + "\r\n+CMGL: 1,0,,23\r\n\r\n+CMTI: \"SM\",3\r\n" +
                              DeliverLine("13012312312", "08", "4F60") + "\n" +
                              "RING\r\n+CMGL: 2,2,,16\r\n0011000B813110325476F80008A70400610062\r\n" +
                              "+CMGL: 3,0,,26\r\n" + report + "\n" + kOk;
  Run(0, listing, 2);
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=3\r\n"}));
  EXPECT_EQ(Recv("acc"), "1");
  EXPECT_EQ(Recv("DA1"), Gbk("你"));
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/R2"));
}

TEST_F(ReceivePhaseTest, PartsWaitDurablyAndAreFiledOnceWholeInOrder) {
  Run(0, Listing({Entry(1, PartLine(3, "4E09")), Entry(2, PartLine(1, "4E00"))}), 2);
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=2\r\n"}));
  EXPECT_FALSE(std::filesystem::exists(At(day_) + "/recv/acc"));
  EXPECT_FALSE(std::filesystem::is_empty(At("state/parts")));

  Run(0, Listing({Entry(1, PartLine(2, "4E8C")), Entry(2, PartLine(1, "4E00"))}), 2);
  EXPECT_EQ(Recv("acc"), "1");
  EXPECT_EQ(Recv("R1"), "13012312312");
  EXPECT_EQ(Recv("DA1"), Gbk("一二三"));
  EXPECT_TRUE(std::filesystem::is_empty(At("state/parts")));
  Run(1, Listing({Entry(2, PartLine(1, "4E00"))}), 1);  // listed again: filed already
  EXPECT_EQ(Recv("acc"), "1");
  EXPECT_TRUE(std::filesystem::is_empty(At("state/parts")));

  // A set that outlives PARTWAIT is filed with a mark for each missing part.
  std::FILE* settings = std::fopen(At("server.txt").c_str(), "wb");
  ASSERT_NE(settings, nullptr);
  std::fputs("[SET]\r\nPARTWAIT=0\r\n", settings);
  std::fclose(settings);
  std::string second = PartLine(2, "56DB");
  second.replace(second.find("2A03"), 4, "2B03");
  Run(1, Listing({Entry(5, second)}), 1);
  EXPECT_EQ(Recv("acc"), "2");
  EXPECT_EQ(Recv("DA2"), Gbk("[…]四[…]"));
}

TEST(QueryCode, IsWhatFollowsTheStarUpToFourCharacters) {
  EXPECT_EQ(QueryCode("*0001"), "0001");
  EXPECT_EQ(QueryCode("*00012345"), "0001");
  EXPECT_EQ(QueryCode("*12"), "12");
  EXPECT_EQ(QueryCode("*"), "");
  EXPECT_FALSE(IsQuery("0001*"));
  EXPECT_FALSE(IsQuery(""));
}

}  // namespace
}  // namespace tavrel
