#pragma once
// R<n> of an outbox record as the send phase reads it: line by line into a
// 128-byte field. The journal numbers a record's recipients by these lines,
// so the views, retries and resume count them the same way.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

// R<n> is read line by line into a 128-byte field.
inline constexpr std::size_t kRecipientLineField = 128;

// R<n> as read line by line into the recipient line field: each piece ends
// after its LF or after 127 bytes, whichever comes first (a longer line goes
// on as the next piece), and ends at a NUL like the C text it was read into.
std::vector<std::string> RecipientLines(std::string_view content);

// The recipient key of one line: the text before its first ';' (the whole
// line without one), up to its first CR, LF or NUL.
std::string RecipientKey(std::string_view line);

// The same pieces read from the file in text mode, a piece at a time, never
// whole: a record may name a hundred thousand recipients.
class RecipientReader {
 public:
  explicit RecipientReader(const std::string& path);
  ~RecipientReader();
  RecipientReader(const RecipientReader&) = delete;
  RecipientReader& operator=(const RecipientReader&) = delete;
  bool ok() const { return fd_ >= 0; }

  std::optional<std::string> Next();

 private:
  void Fill();

  int fd_;
  std::string buffer_;
  std::size_t at_ = 0;
  bool eof_ = false;
  bool held_cr_ = false;
};

// How many recipient lines R<n> of day's outbox has; nullopt when it cannot
// be read.
std::optional<long> CountRecipients(const Station& station, std::string_view day, long n);

}  // namespace tavrel
