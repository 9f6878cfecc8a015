#include "tools/modemsim/spool.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace modemsim {
namespace {

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::optional<int> Count(std::string_view text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoi(std::string(text));
}

std::optional<bool> Switch(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

}  // namespace

std::optional<SpoolMessage> ParseSpoolMessage(std::string_view content, std::string& error) {
  auto newline = content.find('\n');
  std::string_view first_line = content.substr(0, newline);
  std::string_view text = newline == std::string_view::npos ? std::string_view{} : content.substr(newline + 1);
  auto sender = SenderAddress(first_line);
  if (!sender) {
    error = "line 1 should be the sender's number (8613800000000, +8613800000000 or 13800000000) or a name "
            "of at most 11 plain letters, not \"" + std::string(Trim(first_line)) + "\"";
    return std::nullopt;
  }
  return SpoolMessage{*sender, FromUtf8(text)};
}

std::optional<Control> ParseControl(std::string_view content, std::string& error) {
  std::string_view command = Trim(content);
  auto space = command.find(' ');
  std::string_view verb = command.substr(0, space);
  std::string_view argument = space == std::string_view::npos ? std::string_view{} : Trim(command.substr(space));
  Control control;
  if (verb == "quit" && argument.empty()) {
    control.kind = Control::Kind::Quit;
    return control;
  }
  if (verb == "fail-sends" || verb == "vanish") {
    if (auto count = Count(argument)) {
      control.kind = verb == "vanish" ? Control::Kind::Vanish : Control::Kind::FailSends;
      control.value = *count;
      return control;
    }
  }
  if (verb == "silent" || verb == "garbage") {
    if (auto on = Switch(argument)) {
      control.kind = verb == "silent" ? Control::Kind::Silent : Control::Kind::Garbage;
      control.on = *on;
      return control;
    }
  }
  error = "unknown control \"" + std::string(command) +
          "\"; use one of: fail-sends N, silent on|off, garbage on|off, vanish MS, quit";
  return std::nullopt;
}

std::vector<std::string> SpoolEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.starts_with('.')) continue;  // writers' temporary files
    if (name.ends_with(".sms") || name.ends_with(".ctl")) names.emplace_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return !in.bad();
}

}  // namespace modemsim
