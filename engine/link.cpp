#include "engine/link.h"

namespace tavrel {

bool AppendWithin(std::string& text, std::string_view more, std::size_t limit) {
  const std::size_t room = text.size() < limit ? limit - text.size() : 0;
  text.append(more.substr(0, room));
  return more.size() <= room;
}

void WriteCommand(Port& port, std::string_view text) { port.Write(UpToNul(text)); }

std::string ReadReply(Port& port) {
  std::string reply;
  for (;;) {
    const std::string chunk = port.Read(kChunkSize);
    if (!AppendWithin(reply, UpToNul(chunk))) break;
    if (chunk.size() < kChunkSize || reply.size() >= kReplyLimit) break;
  }
  return reply;
}

std::string ReadListing(Port& port, Pacer& pacer, EngineLog& trace, std::string_view command) {
  std::string listing;
  std::string previous;
  std::string chunk(UpToNul(command));
  do {
    previous = chunk;
    pacer.Pause(kCommandPause);
    chunk = std::string(UpToNul(port.Read(kChunkSize)));
    trace.Printf("strmsg--####=%s\n", chunk.c_str());
    if (chunk != previous && !AppendWithin(listing, chunk)) {
      trace.Printf("---------------------mmm-@@@@=%s\n", listing.c_str());
      break;  // a listing that overflows its field is cut, not read on
    }
    trace.Printf("---------------------mmm-@@@@=%s\n", listing.c_str());
  } while (chunk.size() == kChunkSize);
  trace.Printf("read....#############cmgl=%s\n", listing.c_str());
  const std::size_t tail = listing.size() < 3 ? 0 : listing.size() - 3;
  trace.Printf("str_end=%s\n", listing.c_str() + tail);
  return listing;
}

std::string SingleRead(Port& port) { return std::string(UpToNul(port.Read(kChunkSize))); }

bool ReplyEndsWithOk(std::string_view reply) {
  const std::size_t n = reply.size();
  return n >= 4 && reply[n - 4] == 'O' && reply[n - 3] == 'K';
}

}  // namespace tavrel
