// The late-bound object model the schema reader drives: variants, objects whose members are
// looked up by name, and the registry that creates an engine from its program id.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace zentab {

class Dispatch;
using ObjectRef = std::shared_ptr<Dispatch>;

// An automation value. Dates are OLE automation dates: days since 1899-12-30, the fraction
// being the time of day.
class Variant {
 public:
  struct Empty {
    bool operator==(const Empty&) const = default;
  };
  struct Null {
    bool operator==(const Null&) const = default;
  };
  struct Date {
    double value = 0;
    bool operator==(const Date&) const = default;
  };

  Variant() = default;
  static Variant MakeNull() { return Variant(Null{}); }
  // Only a real bool: pointers and arrays must not convert to a Boolean variant.
  template <typename B, std::enable_if_t<std::is_same_v<B, bool>, int> = 0>
  Variant(B b) : v_(b) {}
  Variant(std::int32_t i) : v_(i) {}
  Variant(double d) : v_(d) {}
  Variant(Date d) : v_(d) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(ObjectRef o) : v_(std::move(o)) {}

  bool IsEmpty() const { return std::holds_alternative<Empty>(v_); }
  bool IsNull() const { return std::holds_alternative<Null>(v_); }
  bool IsBool() const { return std::holds_alternative<bool>(v_); }
  bool IsInt() const { return std::holds_alternative<std::int32_t>(v_); }
  bool IsDouble() const { return std::holds_alternative<double>(v_); }
  bool IsDate() const { return std::holds_alternative<Date>(v_); }
  bool IsString() const { return std::holds_alternative<std::string>(v_); }
  bool IsObject() const { return std::holds_alternative<ObjectRef>(v_); }

  bool AsBool() const { return std::get<bool>(v_); }
  std::int32_t AsInt() const { return std::get<std::int32_t>(v_); }
  double AsDouble() const { return std::get<double>(v_); }
  double AsDate() const { return std::get<Date>(v_).value; }
  const std::string& AsString() const { return std::get<std::string>(v_); }
  // The text moved out; the variant keeps an empty string.
  std::string TakeString() { return std::move(std::get<std::string>(v_)); }
  const ObjectRef& AsObject() const { return std::get<ObjectRef>(v_); }

  bool operator==(const Variant&) const = default;

 private:
  explicit Variant(Null n) : v_(n) {}
  std::variant<Empty, Null, bool, std::int32_t, double, Date, std::string, ObjectRef> v_;
};

// A failed creation or call. The message is the description the component gave.
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An object reached by late binding: every member is looked up by its name (case-insensitive)
// when called. A property read or a method call with arguments is the same operation here.
class Dispatch {
 public:
  virtual ~Dispatch() = default;
  // Throws AutomationError when the member is unknown or the call fails.
  virtual Variant Invoke(std::string_view member, std::span<const Variant> args) = 0;

  Variant Invoke(std::string_view member) { return Invoke(member, std::span<const Variant>()); }
  Variant Invoke(std::string_view member, const Variant& arg) {
    return Invoke(member, std::span<const Variant>(&arg, 1));
  }
};

// Calls member on the object held in target; throws AutomationError when target holds no
// object.
Variant InvokeOn(const Variant& target, std::string_view member,
                 std::span<const Variant> args = {});
Variant InvokeOn(const Variant& target, std::string_view member, const Variant& arg);

using EngineFactory = std::function<ObjectRef()>;

// Registers (or with an empty factory, removes) the factory behind a program id. Thread-safe.
void RegisterEngineFactory(const std::string& progId, EngineFactory factory);

// Creates an object from its program id; throws AutomationError when none is registered.
ObjectRef CreateAutomationObject(const std::string& progId);

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

namespace detail {
template <typename Word>
[[gnu::always_inline]] inline bool SameWordAt(const char* a, const char* b, std::size_t at) {
  Word x;
  Word y;
  std::memcpy(&x, a + at, sizeof x);
  std::memcpy(&y, b + at, sizeof y);
  return x == y;
}

// Byte for byte, for names up to 16 bytes long (two words that may overlap); longer names and
// names that differ go on to the letter-by-letter comparison.
[[gnu::always_inline]] inline bool SameShortBytes(const char* a, const char* b, std::size_t n) {
  if (n > 16) return false;
  if (n >= 8) {
    return SameWordAt<std::uint64_t>(a, b, 0) && SameWordAt<std::uint64_t>(a, b, n - 8);
  }
  if (n >= 4) {
    return SameWordAt<std::uint32_t>(a, b, 0) && SameWordAt<std::uint32_t>(a, b, n - 4);
  }
  return false;
}

// Letter by letter, for names of one length that differ in their bytes.
[[gnu::noinline]] inline bool SameLettersIgnoringCase(std::string_view a, std::string_view b) {
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k] != b[k] && LowerAscii(a[k]) != LowerAscii(b[k])) return false;
  }
  return true;
}
}  // namespace detail

// Case-insensitive comparison of member names (ASCII). Inline: every late-bound call makes a
// few. Most differ in length, and most that match are spelt alike, which two word comparisons
// settle before the letter-by-letter one.
[[gnu::always_inline]] inline bool SameMemberName(std::string_view a, std::string_view b) {
  std::size_t n = a.size();
  if (n != b.size()) return false;
  if (detail::SameShortBytes(a.data(), b.data(), n)) return true;
  return detail::SameLettersIgnoringCase(a, b);
}

}  // namespace zentab
