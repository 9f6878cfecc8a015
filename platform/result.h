#pragma once
// The result of an operation that can fail for a reason someone must hear:
// the value, or an Error. An Error says it twice, because two readers need
// it: the operator gets a fixed text in the system's language (GBK, a path
// may follow), a trace log gets the English detail with the system's own
// reason (errno text and the like).
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tavrel {

struct Error {
  std::string text;    // GBK, for a window: fixed wording, then perhaps a path
  std::string detail;  // English, for trace logs
};

template <class T = void>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const { return std::get<0>(state_); }
  T& value() { return std::get<0>(state_); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

}  // namespace tavrel
