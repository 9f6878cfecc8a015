#include "console/modem_strip.h"

#include <QTimer>
#include <string_view>

#include <unistd.h>

#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/window_style.h"

namespace tavrel::console {
namespace {

constexpr int kRefreshMs = 1000;

std::string StateWord(std::string_view state) {
  if (state == "sending") return Gbk("发送中");
  if (state == "waiting") return Gbk("等待");
  if (state == "gone") return Gbk("断开");
  if (state == "paused") return Gbk("暂停");
  return Gbk("在线");
}

}  // namespace

std::string ModemStripText(const ModemStatus& modem, bool paused) {
  return modem.key + " " + StateWord(paused ? "paused" : modem.state) + " " +
         std::to_string(modem.sent_today);
}

ModemStrip::ModemStrip(Station station, QWidget* parent)
    : QLabel(parent), station_(std::move(station)) {
  setGeometry(452, 364, 292, 22);
  setWordWrap(true);
  QFont small = font();
  small.setPixelSize(10);
  setFont(small);
  ui::SetTextColour(this, QColor(0x00, 0x00, 0x80));
  hide();
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] { Refresh(); });
  timer->start(kRefreshMs);
}

void ModemStrip::SetPaused(bool paused) {
  paused_ = paused;
  Refresh();
}

void ModemStrip::Refresh() {
  const std::optional<EngineStatus> status = ReadEngineStatus(station_);
  // A file left by an earlier run says nothing about this one.
  if (!status || status->pid != static_cast<long>(::getpid()) || status->modems.empty()) {
    hide();
    return;
  }
  std::string text;
  for (const ModemStatus& modem : status->modems) {
    text += (text.empty() ? "" : " | ") + ModemStripText(modem, paused_);
  }
  ui::SetText(this, text);
  show();
}

}  // namespace tavrel::console
