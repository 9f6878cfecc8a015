#pragma once
// Who may use the HTTP API: the bearer tokens of api/tokens ([tokens]
// section, name=token, CR LF like the catalogues) and the lock-out of an
// address that keeps guessing.
#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/station.h"

namespace tavrel::http {

inline constexpr std::string_view kTokensFile = "api/tokens";

class Tokens {
 public:
  // Fails, saying why, when the file is absent, unreadable or holds no token.
  static Result<Tokens> Load(const Station& station);
  static Tokens FromPairs(std::vector<std::pair<std::string, std::string>> pairs);

  // The name of the token an Authorization header carries ("Bearer <token>");
  // nullopt for a wrong or missing one. Every token is compared in full
  // whatever matched, so the time taken tells nothing about a token.
  std::optional<std::string> NameOf(std::string_view authorization) const;

 private:
  std::vector<std::pair<std::string, std::string>> tokens_;  // name, token
};

// Refusals per address in a sliding minute; at the limit the address gets
// nothing but 429 for a minute. Real time: the pacing clock must not let a
// guesser through faster.
class Lockout {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kLimit = 10;
  static constexpr std::chrono::seconds kWindow{60};
  static constexpr std::chrono::seconds kBan{60};

  bool Locked(const std::string& address, Clock::time_point now = Clock::now());
  void Refused(const std::string& address, Clock::time_point now = Clock::now());

 private:
  struct Record {
    std::deque<Clock::time_point> refusals;
    Clock::time_point locked_until{};
  };
  void Forget(Clock::time_point now);
  std::mutex mutex_;
  std::map<std::string, Record> records_;
};

}  // namespace tavrel::http
