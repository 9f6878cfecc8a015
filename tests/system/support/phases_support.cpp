#include "tests/system/support/phases_support.h"
#include "platform/station.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/clock.h"
#include "platform/textfile.h"
#include "store/record_store.h"

namespace tavrel::system_test {
namespace {

// A JSON string value (the escapes modemsim writes) of key in one line.
std::string JsonField(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":\"";
  std::size_t i = line.find(tag);
  if (i == std::string::npos) return {};
  std::string value;
  for (i += tag.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) {
      value += line[i];
      continue;
    }
    const char escaped = line[++i];
    switch (escaped) {
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case 't': value += '\t'; break;
      case 'u': {
        const unsigned code = static_cast<unsigned>(std::stoul(line.substr(i + 1, 4), nullptr, 16));
        i += 4;
        if (code < 0x80) {
          value += static_cast<char>(code);
        } else {  // the escaped controls are all below U+0800
          value += static_cast<char>(0xC0 | (code >> 6));
          value += static_cast<char>(0x80 | (code & 0x3F));
        }
        break;
      }
      default: value += escaped;
    }
  }
  return value;
}

}  // namespace

void FileOutboxRecord(const StationDir& dir, long n, std::string_view recipients,
                      std::string_view text) {
  const DayAndStamp now = Station().Now();
  const std::string day = dir / now.day;
  EnsureDayFolder(tavrel::Station(), day);
  const std::string box = MailboxDir(tavrel::Station(), day, kNewBox);
  WriteTextFile(RecordPath(box, "R", n), recipients);
  WriteTextFile(RecordPath(box, "H", n), OutboxHeader(now.stamp));
  WriteTextFile(RecordPath(box, "DA", n), text);
  WriteCounter(box, n);
}

void WriteCatalogue(const StationDir& dir, const std::string& path, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& entries) {
  std::filesystem::create_directories(std::filesystem::path(dir / path).parent_path());
  std::string text = "[" + section + "]\r\n000000=222222\r\n";
  for (const auto& [key, value] : entries) text += key + "=" + value + "\r\n";
  dir.WriteFile(path, text);
}

namespace {

// Writes content under a hidden name, renames it in as NNNN.<kind> and waits
// until modemsim took it.
bool Spool(const std::string& spool, const char* kind, const std::string& content) {
  static int serial = 0;
  std::filesystem::create_directories(spool);
  char name[32];
  std::snprintf(name, sizeof name, "%04d.%s", ++serial, kind);
  const std::string hidden = spool + "/.writing";
  const std::string final_name = spool + "/" + name;
  {
    std::FILE* f = std::fopen(hidden.c_str(), "wb");
    if (f == nullptr) return false;
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  std::filesystem::rename(hidden, final_name);
  return Eventually([&] { return !Exists(final_name); });
}

}  // namespace

bool InjectSms(const std::string& spool, const std::string& sender, const std::string& utf8_text) {
  return Spool(spool, "sms", sender + "\n" + utf8_text);
}

bool InjectMessage(const std::string& spool, const std::string& msg) {
  return Spool(spool, "msg", msg);
}

std::vector<SentSms> ReadSentLog(const std::string& path) {
  std::vector<SentSms> sent;
  std::istringstream lines(ReadFileBytes(path).value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line.back() != '}') continue;  // still being written
    sent.push_back({JsonField(line, "smsc"), JsonField(line, "to"), JsonField(line, "coding"),
                    JsonField(line, "text"), JsonField(line, "pdu"), JsonField(line, "joined")});
  }
  return sent;
}

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

std::vector<std::string> OutputLines(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace tavrel::system_test
