#include "engine/engine_log.h"

#include <cstdarg>
#include <vector>

#include "engine/port.h"
#include "platform/textfile.h"

namespace tavrel {

EngineLog::~EngineLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool EngineLog::Open(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void EngineLog::Printf(const char* format, ...) {
  if (file_ == nullptr) return;
  if (pacer_ != nullptr) pacer_->Checkpoint();
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    const std::string bytes =
        ToTextMode(std::string_view(text.data(), static_cast<std::size_t>(length)));
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    std::fflush(file_);
  }
  va_end(again);
}

void EngineLog::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

}  // namespace tavrel
