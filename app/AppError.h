// The program's own error: an exception that carries a message for the user. Thrown inside the
// registration check and turned into its result there; anything else that reaches the entry
// routine is shown without a text.
#pragma once

#include <string>
#include <utility>

class TAppError {
 public:
  explicit TAppError(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& Message() const { return message_; }

 private:
  std::wstring message_;
};
