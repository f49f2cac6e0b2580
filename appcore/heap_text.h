// An owned text that may be unset (null), as the global settings keep them:
// setting one replaces the old copy, and "unset" stays distinct from "".
#pragma once

#include <memory>
#include <string>
#include <string_view>

class HeapText {
 public:
  HeapText() = default;
  HeapText(const char* s) { Set(s); }  // NOLINT: set from a C text
  HeapText(const HeapText& o) { Set(o.get()); }
  HeapText& operator=(const HeapText& o) {
    if (this != &o) Set(o.get());
    return *this;
  }
  HeapText(HeapText&&) noexcept = default;
  HeapText& operator=(HeapText&&) noexcept = default;

  // Null clears the text.
  void Set(const char* s) {
    if (!s) {
      p_.reset();
      return;
    }
    Set(std::string_view(s));
  }
  void Set(std::string_view s) {
    auto n = std::make_unique<char[]>(s.size() + 1);
    s.copy(n.get(), s.size());
    n[s.size()] = '\0';
    p_ = std::move(n);
  }
  void Clear() { p_.reset(); }

  const char* get() const { return p_.get(); }
  bool IsSet() const { return p_ != nullptr; }
  explicit operator bool() const { return IsSet(); }
  // The text, or "" when unset.
  const char* c_str() const { return p_ ? p_.get() : ""; }
  std::string str() const { return c_str(); }
  bool empty() const { return !p_ || p_[0] == '\0'; }

 private:
  std::unique_ptr<char[]> p_;
};
