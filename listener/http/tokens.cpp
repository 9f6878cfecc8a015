#include "listener/http/tokens.h"

#include <algorithm>

#include "platform/textfile.h"

namespace tavrel::http {
namespace {

constexpr std::string_view kSection = "[tokens]";

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Equal texts, in time that depends only on the lengths.
bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  const std::size_t length = std::max(a.size(), b.size());
  unsigned diff = a.size() != b.size() ? 1 : 0;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char x = i < a.size() ? a[i] : 0;
    const unsigned char y = i < b.size() ? b[i] : 0;
    diff |= x ^ y;
  }
  return diff == 0;
}

}  // namespace

Result<Tokens> Tokens::Load(const Station& station) {
  const std::string path = station.Path(kTokensFile);
  const std::optional<std::string> text = ReadTextFile(path);
  if (!text) {
    return Error{"api/tokens", "no token file " + path + ": the HTTP API does not start (write " +
                                   "[tokens] and one name=token line)"};
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  bool in_section = false;
  for (std::size_t at = 0; at < text->size();) {
    std::size_t end = text->find('\n', at);
    if (end == std::string::npos) end = text->size();
    const std::string_view line = Trimmed(std::string_view(*text).substr(at, end - at));
    at = end + 1;
    if (!line.empty() && line.front() == '[') {
      in_section = SameFolded(line, kSection);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!in_section || equals == std::string_view::npos) continue;
    const std::string_view name = Trimmed(line.substr(0, equals));
    const std::string_view token = Trimmed(line.substr(equals + 1));
    if (!name.empty() && !token.empty()) pairs.emplace_back(name, token);
  }
  if (pairs.empty()) {
    return Error{"api/tokens", "the token file " + path + " holds no name=token line under " +
                                   "[tokens]: the HTTP API does not start"};
  }
  return FromPairs(std::move(pairs));
}

Tokens Tokens::FromPairs(std::vector<std::pair<std::string, std::string>> pairs) {
  Tokens tokens;
  tokens.tokens_ = std::move(pairs);
  return tokens;
}

std::optional<std::string> Tokens::NameOf(std::string_view authorization) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (authorization.size() <= kScheme.size() ||
      !SameFolded(authorization.substr(0, kScheme.size()), kScheme)) {
    return std::nullopt;
  }
  const std::string_view offered = Trimmed(authorization.substr(kScheme.size()));
  std::optional<std::string> found;
  for (const auto& [name, token] : tokens_) {
    if (ConstantTimeEqual(token, offered) && !found) found = name;
  }
  return found;
}

bool Lockout::Locked(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const auto it = records_.find(address);
  return it != records_.end() && now < it->second.locked_until;
}

void Lockout::Refused(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Forget(now);
  Record& record = records_[address];
  record.refusals.push_back(now);
  while (!record.refusals.empty() && now - record.refusals.front() >= kWindow) {
    record.refusals.pop_front();
  }
  if (record.refusals.size() >= kLimit) {
    record.locked_until = now + kBan;
    record.refusals.clear();
  }
}

// Addresses that neither are locked nor refused lately hold no memory.
void Lockout::Forget(Clock::time_point now) {
  for (auto it = records_.begin(); it != records_.end();) {
    const Record& record = it->second;
    const bool quiet = record.refusals.empty() || now - record.refusals.back() >= kWindow;
    if (quiet && now >= record.locked_until) {
      it = records_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace tavrel::http
