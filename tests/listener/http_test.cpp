// The HTTP API's pieces that no client can see in one request: the ALLOW
// grammar, tokens and the sliding lock-out, ids that outlive a restart,
// the webhook's walk across days, the journal tally and the health verdict.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <vector>

#include "listener/allow_list.h"
#include "listener/http/idempotency.h"
#include "listener/http/metrics.h"
#include "listener/http/tokens.h"
#include "listener/http/webhook.h"
#include "listener/listener_thread.h"
#include "listener_support.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/settings.h"
#include "store/engine_status.h"
#include "store/record_store.h"

namespace tavrel::http {
namespace {

using test::TempStation;

std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return std::uint32_t{a} << 24 | std::uint32_t{b} << 16 | std::uint32_t{c} << 8 | d;
}

TEST(AllowList, AddressesAndRangesOrTheEntryThatIsNeither) {
  const struct {
    const char* text;
    std::uint32_t address;
    bool allowed;
  } cases[] = {
      {"", Ip(203, 0, 113, 9), true},  // absent: everyone, as before
      {"127.0.0.1", Ip(127, 0, 0, 1), true},
      {"127.0.0.1", Ip(127, 0, 0, 2), false},
      {" 10.0.0.0/8 , 192.168.1.7", Ip(10, 200, 3, 4), true},
      {" 10.0.0.0/8 , 192.168.1.7", Ip(192, 168, 1, 7), true},
      {" 10.0.0.0/8 , 192.168.1.7", Ip(11, 0, 0, 1), false},
      {"192.168.1.77/24", Ip(192, 168, 1, 1), true},  // host bits are ignored
      {"0.0.0.0/0", Ip(8, 8, 8, 8), true},
      {"1.2.3.4/32,", Ip(1, 2, 3, 4), true},
  };
  for (const auto& c : cases) {
    const Result<AllowList> list = AllowList::Parse(c.text);
    ASSERT_TRUE(list) << c.text;
    EXPECT_EQ(list.value().Allows(c.address), c.allowed) << c.text;
  }
  for (const char* bad : {"localhost", "10.0.0.0/33", "10.0.0/8", "1.2.3.4/", "::1", "1.2.3.4/8x"}) {
    const Result<AllowList> list = AllowList::Parse(std::string("127.0.0.1,") + bad);
    ASSERT_FALSE(list) << bad;
    EXPECT_NE(list.error().detail.find(bad), std::string::npos) << list.error().detail;
  }
}

TEST(Tokens, TheFileNamesWhoEachTokenIs) {
  TempStation dir;
  EXPECT_FALSE(Tokens::Load(dir.station()));  // no file: no HTTP
  MakeDirectory(dir.Path("api"));
  test::WriteFileBytes(dir.Path("api/tokens"), "[other]\r\nx=in-another-section\r\n[Tokens]\r\n");
  EXPECT_FALSE(Tokens::Load(dir.station()));  // empty counts as missing
  test::WriteFileBytes(dir.Path("api/tokens"),
                       "[tokens]\r\nshop=abc123\r\nprometheus = p-9\r\n[other]\r\nx=y\r\n");
  const Result<Tokens> tokens = Tokens::Load(dir.station());
  ASSERT_TRUE(tokens);
  const struct {
    const char* header;
    std::optional<std::string> name;
  } cases[] = {
      {"Bearer abc123", "shop"}, {"bearer p-9", "prometheus"}, {"Bearer abc12", std::nullopt},
      {"Bearer abc1234", std::nullopt}, {"abc123", std::nullopt}, {"Bearer ", std::nullopt},
      {"Basic abc123", std::nullopt}, {"Bearer y", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(tokens.value().NameOf(c.header), c.name) << c.header;
}

TEST(Lockout, TenRefusalsInASlidingMinuteLockTheAddressForAMinute) {
  Lockout lockout;
  const auto start = Lockout::Clock::now();
  using std::chrono::seconds;
  // Nine refusals; the first leaves the window as the tenth comes.
  for (int i = 0; i < 9; ++i) lockout.Refused("10.0.0.1", start + seconds(i));
  lockout.Refused("10.0.0.1", start + seconds(60));
  EXPECT_FALSE(lockout.Locked("10.0.0.1", start + seconds(60)));
  const auto tenth = start + std::chrono::milliseconds(60500);  // 1 s to 60.5 s: ten
  lockout.Refused("10.0.0.1", tenth);
  EXPECT_TRUE(lockout.Locked("10.0.0.1", tenth));
  EXPECT_FALSE(lockout.Locked("10.0.0.2", tenth));
  EXPECT_TRUE(lockout.Locked("10.0.0.1", tenth + seconds(59)));
  EXPECT_FALSE(lockout.Locked("10.0.0.1", tenth + seconds(60)));
}

TEST(IdempotencyKeys, KeptAcrossARestartPerTokenAndForgottenAfterAWeek) {
  TempStation dir;
  const long long now = std::time(nullptr);
  {
    IdempotencyKeys keys(dir.station());
    ASSERT_TRUE(keys.Keep("shop", "order-1", {"d1", "2026-12-6", 7, now - 3600}));
    ASSERT_TRUE(keys.Keep("shop", "old", {"d2", "2026-11-1", 3, now - 8 * 86400}));
  }
  // A crash cut the last append.
  const std::string file = dir.Path(std::string(kIdsFile));
  test::WriteFileBytes(file, test::FileBytes(file) + "{\"token\":\"shop\",\"id\":\"cut");
  IdempotencyKeys keys(dir.station());
  const std::optional<KeptRequest> kept = keys.Find("shop", "order-1");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->digest, "d1");
  EXPECT_EQ(kept->day, "2026-12-6");  // a retry after midnight gets its own day
  EXPECT_EQ(kept->record, 7);
  EXPECT_FALSE(keys.Find("billing", "order-1"));  // ids are the token's own
  EXPECT_FALSE(keys.Find("shop", "old"));
  EXPECT_EQ(test::FileBytes(file).find("old"), std::string::npos);
}

void FileInbox(const Station& station, const std::string& day, long count) {
  EnsureDayFolder(station, day);
  ASSERT_TRUE(WriteMailboxCounter(station, day, kRecvBox, count));
}

TEST(Webhook, TheCursorWalksThroughTheDaysThatHoldMessages) {
  TempStation dir;
  const std::string today = dir.station().Today();
  FileInbox(dir.station(), "2025-12-30", 2);
  FileInbox(dir.station(), "2025-12-31", 0);  // a day without messages
  FileInbox(dir.station(), "2026-1-2", 1);
  FileInbox(dir.station(), "2099-1-1", 5);  // beyond today: not yet
  const struct {
    HookCursor at;
    std::optional<std::pair<std::string, long>> next;
  } cases[] = {
      {{"2025-12-30", 0}, std::pair<std::string, long>{"2025-12-30", 1}},
      {{"2025-12-30", 1}, std::pair<std::string, long>{"2025-12-30", 2}},
      {{"2025-12-30", 2}, std::pair<std::string, long>{"2026-1-2", 1}},
      {{"2026-1-2", 1}, std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<HookCursor> next = NextInboxMessage(dir.station(), c.at);
    ASSERT_EQ(next.has_value(), c.next.has_value()) << c.at.day << " " << c.at.record;
    if (next) {
      EXPECT_EQ(std::make_pair(next->day, next->record), *c.next);
    }
  }
  ASSERT_TRUE(WriteHookCursor(dir.station(), {"2026-1-2", 1}));
  const std::optional<HookCursor> cursor = ReadHookCursor(dir.station());
  ASSERT_TRUE(cursor);
  EXPECT_EQ(cursor->day, "2026-1-2");
  EXPECT_EQ(cursor->record, 1);
}

TEST(JournalTally, CountsWholeLinesAsTheJournalsGrow) {
  TempStation dir;
  const std::string today = dir.station().Today();
  EnsureDayFolder(dir.station(), today);
  ASSERT_TRUE(WriteMailboxCounter(dir.station(), today, kNewBox, 2));
  const std::string j1 = JournalPath(dir.station(), today, 1);
  const std::string j2 = JournalPath(dir.station(), today, 2);
  const std::string stamp = today + " 09:05:03";
  test::WriteFileBytes(j1, "1|13900000001|sent|" + stamp + "|\r\n2|13900000002|failed|" + stamp +
                               "|+CMS ERROR: 500\r\n3|1390");
  test::WriteFileBytes(j2, "1|13900000003|sent|" + stamp + "|\r\n");
  JournalTally tally(dir.station());
  tally.Refresh();
  JournalTally::Counts counts = tally.Today();
  EXPECT_EQ(counts.sent, 2);
  EXPECT_EQ(counts.failed, 1);
  // The cut line completes and a delivery report arrives later.
  test::WriteFileBytes(j1, test::FileBytes(j1) + "0000003|sent|" + stamp + "|\r\n1|13900000001|" +
                               "delivered|" + stamp + "|\r\n");
  tally.Refresh();
  counts = tally.Today();
  EXPECT_EQ(counts.sent, 3);
  EXPECT_EQ(counts.failed, 1);
  EXPECT_EQ(counts.delivered, 1);
  EXPECT_EQ(counts.undelivered, 0);
}

TEST(Health, FreshWithinSixtySecondsOrThreeCycles) {
  TempStation dir;
  const std::time_t now = 1765090000;
  EXPECT_EQ(Health(dir.station(), now).status, 503);  // no status yet
  const struct {
    long long age;
    long cycle;
    int status;
  } cases[] = {{0, 5, 200}, {60, 5, 200}, {61, 5, 503}, {90, 30, 200}, {91, 30, 503}};
  for (const auto& c : cases) {
    EngineStatus status;
    status.written = now - c.age;
    status.cycle_seconds = c.cycle;
    ASSERT_TRUE(WriteEngineStatus(dir.station(), status));
    const Reply reply = Health(dir.station(), now);
    EXPECT_EQ(reply.status, c.status) << c.age << " " << c.cycle << reply.body;
  }
}

// Connected and silent.
std::vector<int> IdleClients(std::uint16_t port, int count) {
  std::vector<int> clients;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  for (int i = 0; i < count; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      break;
    }
    clients.push_back(fd);
  }
  return clients;
}

TEST(Listener, AThousandIdleClientsHoldNobodyOnEitherPort) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 4200) GTEST_SKIP() << "needs 4200 descriptors, has " << limit.rlim_cur;

  TempStation dir;
  const std::uint16_t tcp = test::FreeLoopbackPort();
  const std::uint16_t web = test::FreeLoopbackPort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(tcp));
  WriteSetting(dir.station(), "HTTPPORT", std::to_string(web));
  MakeDirectory(dir.Path("api"));
  test::WriteFileBytes(dir.Path("api/tokens"), "[tokens]\r\nshop=abc123\r\n");
  test::RecordingView view;
  eee listener(view, dir.station());
  ASSERT_TRUE(view.WaitForMemo("HTTP 127.0.0.1:" + std::to_string(web)));

  const std::vector<int> idle_tcp = IdleClients(tcp, 1000);
  const std::vector<int> idle_http = IdleClients(web, 1000);
  EXPECT_EQ(idle_tcp.size(), 1000u);
  EXPECT_EQ(idle_http.size(), 1000u);
  const test::Exchange served = test::SendRequest(tcp, "0000|13012312312;|hello|");
  ASSERT_EQ(served.reply.size(), 1024u);
  EXPECT_EQ(served.reply.substr(0, 5), "0000|");
  httplib::Client client("127.0.0.1", web);
  client.set_bearer_token_auth("abc123");
  const httplib::Result answer =
      client.Post("/v1/messages", R"({"to":["13012312312"],"text":"hi"})", "application/json");
  ASSERT_TRUE(answer) << httplib::to_string(answer.error());
  EXPECT_EQ(answer->status, 201) << answer->body;
  EXPECT_EQ(answer->body, R"({"day":")" + dir.station().Today() + R"(","record":2})");
  for (int fd : idle_tcp) ::close(fd);
  for (int fd : idle_http) ::close(fd);
}

}  // namespace
}  // namespace tavrel::http
