// The listener thread in this process: its start-up texts and log, its
// settings, and serving clients one after another.
#include "listener/listener_thread.h"
#include "platform/station.h"

#include <gtest/gtest.h>

#include "engine/engine_log.h"
#include "listener/listener_log.h"
#include "listener_support.h"
#include "platform/codepage.h"
#include "store/settings.h"

namespace tavrel {
namespace {

using test::FileBytes;
using test::RecordingView;
using test::SendRequest;
using test::TempStation;

TEST(PortNumber, LeadingDigitsLow16Bits) {
  EXPECT_EQ(PortNumber("9002"), 9002);
  EXPECT_EQ(PortNumber("9002abc"), 9002);
  EXPECT_EQ(PortNumber("abc"), 0);
  EXPECT_EQ(PortNumber(""), 0);
  EXPECT_EQ(PortNumber("65535"), 65535);
  EXPECT_EQ(PortNumber("65537"), 1);
  EXPECT_EQ(PortNumber("999999999"), 999999999 % 65536);
}

// Both trace logs in one program, each with its own file and flushing.
TEST(TraceLogs, TheEngineLogAndTheListenerLogLiveSideBySide) {
  TempStation dir;
  EngineLog engine;
  ListenerLog listener;
  ASSERT_TRUE(engine.Open(dir.Path("sms.log")));
  ASSERT_TRUE(listener.Open(dir.Path("log.txt")));
  engine.Printf("com=...%s\n", "COM1");
  listener.Write("========SMS Socket Server is started==========\n");
  EXPECT_EQ(FileBytes(dir.Path("sms.log")), "com=...COM1\r\n");  // at once
  EXPECT_EQ(FileBytes(dir.Path("log.txt")), "");                 // until flushed
  listener.Flush();
  EXPECT_EQ(FileBytes(dir.Path("log.txt")), "========SMS Socket Server is started==========\r\n");
}

TEST(ListenerThread, StartsServesAndDropsASilentClient) {
  TempStation dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(port) + "xyz");
  RecordingView view;
  const std::string started = Gbk("-------------系统启动成功....");
  {
    eee listener(view, dir.station());
    ASSERT_TRUE(view.WaitForMemo(started));
    EXPECT_EQ(view.Memo(), "127.0.0.1\r\n" + std::to_string(port) +
                               "xyz\r\nscoket over  bind.....\r\nover  listen..\r\n" + started);

    // The silent client holds the service only until the receive time-out.
    const test::Exchange silent = SendRequest(port, "", /*send_nothing=*/true);
    EXPECT_TRUE(silent.connected);
    EXPECT_EQ(silent.reply, "");
    const test::Exchange served = SendRequest(port, "0000|13012312312;|hello|");
    ASSERT_EQ(served.reply.size(), 1024u);
    EXPECT_EQ(served.reply.substr(0, 5), "0000|");
    EXPECT_EQ(view.Memo(), "hello");
    EXPECT_EQ(view.Account(), "1");
    // One connection is served at a time, so once the next one is answered
    // the lines of the one before are on disk, not held in a buffer.
    ASSERT_EQ(SendRequest(port, "0000|13012312312;|again|").reply.substr(0, 5), "0000|");
    EXPECT_NE(FileBytes(dir.Path("log.txt")).find("1024-0,"), std::string::npos)
        << FileBytes(dir.Path("log.txt"));
    listener.Stop();
    listener.WaitFinished();
  }
  const std::string log = FileBytes(dir.Path("log.txt"));
  EXPECT_EQ(log.rfind("========SMS Socket Server is started==========\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("-------------return -1..\r\r\n"), std::string::npos);
  EXPECT_NE(log.find("1024-0,"), std::string::npos);
}

TEST(ListenerThread, BindFailureEndsTheThread) {
  TempStation dir;
  // With no server.txt the listener binds the default 100.100.100.100,
  // which this machine does not own.
  RecordingView view;
  eee listener(view, dir.station());
  listener.WaitFinished();
  EXPECT_EQ(view.Events(), (std::vector<std::string>{"show:100.100.100.100", "append:9002",
                                                      "show:err bind.."}));
  EXPECT_EQ(FileBytes(dir.Path("log.txt")),
            "========SMS Socket Server is started==========\r\nBind() error!\r\n");
}

TEST(ListenerThread, AddressInUseIsABindFailure) {
  TempStation dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(port));
  RecordingView first_view;
  eee first(first_view, dir.station());
  ASSERT_TRUE(first_view.WaitForMemo("over  listen.."));
  RecordingView second_view;
  eee second(second_view, dir.station());
  second.WaitFinished();
  EXPECT_EQ(second_view.Memo(), "err bind..");
}

}  // namespace
}  // namespace tavrel
