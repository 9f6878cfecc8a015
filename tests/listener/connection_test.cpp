// One connection of the listener over a real loopback socket, filing into a
// real store in a station on a temporary folder.
#include "listener/connection.h"
#include "platform/station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <regex>

#include <gtest/gtest.h>

#include "listener/request.h"
#include "listener_support.h"
#include "platform/clock.h"
#include "platform/codepage.h"

namespace tavrel {
namespace {

using test::FileBytes;
using test::RecordingView;
using test::SendRequest;
using test::TempStation;

const std::string kExample = Gbk("0000|13012312312;11111111111;22222222222;|你好吗？我的朋友。|");

std::string Padded(const std::string& text) {
  std::string reply = text;
  reply.resize(1024, '\0');
  return reply;
}

class ConnectionTest : public ::testing::Test {
 protected:
  struct Served {
    ConnectionOutcome outcome;
    test::Exchange exchange;
  };

  // Accepts one client on a loopback port and hands it to HandleConnection.
  Served Serve(const std::string& request, bool send_nothing = false) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener, 1), 0);
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const std::uint16_t port = ntohs(address.sin_port);
    auto client = std::async(std::launch::async, [&] {
      return SendRequest(port, request, send_nothing);
    });
    const int connection = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    Served served{HandleConnection(connection, context_), client.get()};
    return served;
  }

  std::string Log() {
    log_.Flush();
    return FileBytes(dir_.Path("log.txt"));
  }

  TempStation dir_;
  RecordingView view_;
  ListenerLog log_;
  ConnectionContext context_{log_, view_, dir_.station(), {}};
  void SetUp() override { ASSERT_TRUE(log_.Open(dir_.Path("./log.txt"))); }

  // The only day folder, by name; files in it are reached through In.
  std::string OnlyDayFolder() const { return test::OnlyDayFolder(dir_.path()); }
  std::string In(const std::string& relative) const { return dir_.Path(relative); }
};

TEST_F(ConnectionTest, HelpExampleIsFiledAsRecordOneOfANewDay) {
  const Served served = Serve(kExample);
  EXPECT_EQ(served.outcome, ConnectionOutcome::Filed);
  EXPECT_EQ(served.exchange.reply, Padded(Gbk("0000|数据接收成功，服务正常！|")));

  const std::string day = OnlyDayFolder();
  ASSERT_TRUE(std::regex_match(day, std::regex(R"(\d{4}-[1-9]\d?-[1-9]\d?)"))) << day;
  for (const char* box : {"new", "send", "recv", "qury"}) {
    EXPECT_TRUE(std::filesystem::is_directory(In(day + "/" + box))) << box;
  }
  EXPECT_EQ(FileBytes(In(day + "/new/R1")), "13012312312\r\n11111111111\r\n22222222222\r\n");
  EXPECT_EQ(FileBytes(In(day + "/new/DA1")), Gbk("你好吗？我的朋友。"));
  EXPECT_EQ(FileBytes(In(day + "/new/acc")), "1");
  const std::string header = FileBytes(In(day + "/new/H1"));
  const std::string head = "[HEAD]\r\ntime=" + day + " ";
  ASSERT_EQ(header.substr(0, head.size()), head);
  EXPECT_TRUE(std::regex_match(header.substr(head.size(), 8), std::regex(R"(\d\d:\d\d:\d\d)")));
  EXPECT_EQ(header.substr(head.size() + 8),
            "\r\nsend= \r\ntype=\xB2\xE9\xD1\xAF\r\nstat=\xCE\xB4\xB7\xA2\r\njrade=\xBD\xF4\xBC\xB1\r\n");

  EXPECT_EQ(view_.Memo(), Gbk("你好吗？我的朋友。"));
  EXPECT_EQ(view_.Account(), "1");
  EXPECT_EQ(Log(), "------------------------------thread start.......\r\r\n"
                   "Thread recv over\r\r\n" +
                       Gbk("0000|数据接收成功，服务正常！|") + "\r\r\n1024-0," +
                       Gbk("建立短消息") + " over\r\r\n");
}

TEST_F(ConnectionTest, NumberingFollowsTheCounter) {
  ASSERT_EQ(Serve(kExample).outcome, ConnectionOutcome::Filed);
  const std::string day = OnlyDayFolder();
  test::WriteFileBytes(In(day + "/new/acc"), "41");
  ASSERT_EQ(Serve("1|13012312312|second|").outcome, ConnectionOutcome::Filed);
  EXPECT_EQ(FileBytes(In(day + "/new/acc")), "42");
  EXPECT_EQ(FileBytes(In(day + "/new/DA42")), "second");
  EXPECT_EQ(view_.Account(), "42");
  test::WriteFileBytes(In(day + "/new/acc"), "0");
  ASSERT_EQ(Serve("1|13012312312|third|").outcome, ConnectionOutcome::Filed);
  EXPECT_EQ(FileBytes(In(day + "/new/acc")), "1");
}

TEST_F(ConnectionTest, MalformedRequestsGet0001AndFileNothing) {
  const std::string refused = Padded(Gbk("0001|数据有误，请检查数据格式.|"));
  struct Case {
    std::string request;
    std::string memo;
  };
  const std::vector<Case> cases = {
      {"0000|13012312312|hello", "0000|13012312312|hello"},  // two separators
      {"|13012312312|hello|", "hello"},                        // empty code
      {"0000||hello|", "hello"},                                // empty numbers
      {"0000|13012312312||", ""},                               // empty text
      {"1234567890|13012312312|hello|", "hello"},               // code beyond its field
      {"no separator at all", "no separator at all"},
      {std::string(1100, 'x') + "|1|2|3|", std::string(1024, 'x')},  // cut at 1024
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 40));
    const Served served = Serve(c.request);
    EXPECT_EQ(served.outcome, ConnectionOutcome::Refused);
    EXPECT_EQ(served.exchange.reply, refused);
    EXPECT_EQ(view_.Memo(), c.memo);
  }
  EXPECT_EQ(OnlyDayFolder(), "");
  const std::string line = "------------------------------thread start.......\r\r\n"
                           "Thread recv over\r\r\n " +
                           Gbk("0001|数据有误，请检查数据格式.|") + "\r\r\n";
  std::string expected;
  for (std::size_t i = 0; i < cases.size(); ++i) expected += line;
  EXPECT_EQ(Log(), expected);
}

TEST_F(ConnectionTest, FieldEdgesThatAreAccepted) {
  // A one-letter code, a nine-byte code, bytes after the third '|', and a
  // zero byte ending the request early.
  ASSERT_EQ(Serve("A|13012312312|one|ignored|also ignored").outcome, ConnectionOutcome::Filed);
  ASSERT_EQ(Serve("123456789|13012312312|two|").outcome, ConnectionOutcome::Filed);
  ASSERT_EQ(Serve(std::string("0|13012312312|three|\0|x|y|", 24)).outcome,
            ConnectionOutcome::Filed);
  ASSERT_EQ(Serve(std::string("0|13012312312|\0four|", 20)).outcome, ConnectionOutcome::Refused);
  const std::string day = OnlyDayFolder();
  EXPECT_EQ(FileBytes(In(day + "/new/DA1")), "one");
  EXPECT_EQ(FileBytes(In(day + "/new/DA2")), "two");
  EXPECT_EQ(FileBytes(In(day + "/new/DA3")), "three");
  EXPECT_EQ(FileBytes(In(day + "/new/acc")), "3");
}

// Without PARTS any text is filed, as ever; with it, a text past its parts
// is refused like a malformed request.
TEST_F(ConnectionTest, TheTextLimitFollowsParts) {
  const std::string text_of_three_sms(400, 'a');
  ASSERT_EQ(Serve("0|13012312312|" + text_of_three_sms + "|").outcome, ConnectionOutcome::Filed);
  test::WriteFileBytes(dir_.Path("server.txt"), "[SET]\r\nPARTS=2\r\n");
  EXPECT_EQ(Serve("0|13012312312|" + text_of_three_sms + "|").outcome, ConnectionOutcome::Refused);
  EXPECT_EQ(Serve("0|13012312312|" + std::string(306, 'a') + "|").outcome, ConnectionOutcome::Filed);
  EXPECT_EQ(FileBytes(In(OnlyDayFolder() + "/new/acc")), "2");
}

TEST_F(ConnectionTest, RecipientListRuleShapesR) {
  struct Case {
    std::string numbers;
    std::string r_file;
  };
  const std::vector<Case> cases = {
      {"13012312312;11111111111", "13012312312\r\n11111111111"},
      {"13012312312;;11111111111", "13012312312\r\n\r\n11111111111"},
      {"13012312312;\r\n11111111111", "13012312312;\r\r\n11111111111"},
      {"13012312312;\n11111111111", "13012312312\r\n\r\n11111111111"},
      {"13012312312;x\n1", "13012312312;x\r\n1"},
  };
  long n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.numbers);
    ASSERT_EQ(Serve("0000|" + c.numbers + "|text|").outcome, ConnectionOutcome::Filed);
    EXPECT_EQ(FileBytes(In(OnlyDayFolder() + "/new/R" + std::to_string(++n))), c.r_file);
  }
}

TEST_F(ConnectionTest, SilentOrVanishedClientGetsNoReply) {
  context_.receive_timeout = std::chrono::milliseconds(50);
  const Served silent = Serve("", /*send_nothing=*/true);
  EXPECT_EQ(silent.outcome, ConnectionOutcome::NoRequest);
  EXPECT_TRUE(silent.exchange.connected);
  EXPECT_EQ(silent.exchange.reply, "");
  EXPECT_EQ(Log(), "------------------------------thread start.......\r\r\n"
                   "-------------return -1..\r\r\n");
  EXPECT_EQ(OnlyDayFolder(), "");
  EXPECT_TRUE(view_.Events().empty());
}

TEST_F(ConnectionTest, StoreFailureGets0002AndAdvancesNothing) {
  // R1 cannot be written where a directory has its name.
  EnsureDayFolder(dir_.station(), dir_.station().Today());
  const std::string day = OnlyDayFolder();
  std::filesystem::create_directory(In(day + "/new/R1"));
  const Served served = Serve(kExample);
  EXPECT_EQ(served.outcome, ConnectionOutcome::NotFiled);
  EXPECT_EQ(served.exchange.reply,
            Padded(Gbk("0002|服务器设备或系统有误，请通知服务器管理员，或与有关人员联系.|")));
  EXPECT_EQ(FileBytes(In(day + "/new/acc")), "<missing>");
  EXPECT_EQ(view_.Account(), "");
  const std::string log = Log();
  EXPECT_NE(log.find(Gbk("0002|服务器设备或系统有误，请通知服务器管理员，或与有关人员联系.|") + "\r\r\n"),
            std::string::npos);

  // Any failure of the writer, whatever its cause, is a 0002 for the client.
  context_.write_outbox = [](std::string_view, std::string_view) {
    return OutboxResult(Error{"", "counter unreadable"});
  };
  EXPECT_EQ(Serve(kExample).exchange.reply.substr(0, 5), "0002|");
}

}  // namespace
}  // namespace tavrel
