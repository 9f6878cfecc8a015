#include "listener/allow_list.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tavrel {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool ParsePrefix(std::string_view digits, int& prefix) {
  if (digits.empty() || digits.size() > 2) return false;
  prefix = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    prefix = prefix * 10 + (c - '0');
  }
  return prefix <= 32;
}

}  // namespace

Result<AllowList> AllowList::Parse(std::string_view text) {
  AllowList list;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t comma = text.find(',', at);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string entry(Trimmed(text.substr(at, comma - at)));
    at = comma + 1;
    if (entry.empty()) continue;
    const std::size_t slash = entry.find('/');
    const std::string address = entry.substr(0, slash);
    int prefix = 32;
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1 ||
        (slash != std::string::npos && !ParsePrefix(entry.substr(slash + 1), prefix))) {
      return Error{"ALLOW: " + entry, "ALLOW holds \"" + entry +
                                          "\", which is neither an IPv4 address nor a CIDR "
                                          "range such as 10.0.0.0/8"};
    }
    const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
    list.ranges_.push_back({ntohl(parsed.s_addr) & mask, mask});
  }
  return list;
}

bool AllowList::Allows(std::uint32_t address) const {
  if (ranges_.empty()) return true;
  for (const Range& range : ranges_) {
    if ((address & range.mask) == range.network) return true;
  }
  return false;
}

bool AllowList::Allows(const sockaddr* peer) const {
  if (ranges_.empty()) return true;
  if (peer == nullptr || peer->sa_family != AF_INET) return false;
  return Allows(ntohl(reinterpret_cast<const sockaddr_in*>(peer)->sin_addr.s_addr));
}

std::string PeerAddress(int connection) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  char text[INET_ADDRSTRLEN] = "?";
  if (::getpeername(connection, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
      peer.sin_family == AF_INET) {
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  }
  return text;
}

bool AllowsPeer(const AllowList& allow, int connection) {
  if (allow.Everyone()) return true;
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  if (::getpeername(connection, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return false;
  return allow.Allows(reinterpret_cast<const sockaddr*>(&peer));
}

}  // namespace tavrel
