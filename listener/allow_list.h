#pragma once
// ALLOW: the addresses both of Quillon's ports serve, as a comma-separated
// list of IPv4 addresses and CIDR ranges ("127.0.0.1, 10.0.0.0/8"). An
// empty list serves everyone, as Quillon always has.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct sockaddr;

namespace tavrel {

class AllowList {
 public:
  // An entry that is neither an address nor a range fails, naming it.
  static Result<AllowList> Parse(std::string_view text);

  bool Allows(std::uint32_t address) const;  // host byte order
  // A peer of another family than IPv4 is refused unless the list is empty.
  bool Allows(const sockaddr* peer) const;
  bool Everyone() const { return ranges_.empty(); }

 private:
  struct Range {
    std::uint32_t network = 0;
    std::uint32_t mask = 0;
  };
  std::vector<Range> ranges_;
};

// The peer of a connected socket as dotted text ("?" when unknown).
std::string PeerAddress(int connection);
// Whether the peer of a connected socket may be served.
bool AllowsPeer(const AllowList& allow, int connection);

}  // namespace tavrel
