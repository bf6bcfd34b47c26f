#pragma once
// The dictionary/array/number/string/data/date/null family the clients pass around.
// Numbers keep their kind: signed, unsigned, double and decimal (text-backed) are distinct,
// and a boolean is not a number. Dictionaries keep insertion order, so anything written
// from them is byte-stable. Values are plain copyable values (a value moved from is null);
// not thread-safe to mutate while another thread reads. Copying, comparing and destroying take stack space independent
// of how deeply arrays and dictionaries nest (a parser allowed a high depth may build values
// hundreds of thousands of levels deep).
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class Value;
class Dictionary;
using Bytes = std::vector<uint8_t>;

// A decimal number kept as its text ("NaN" allowed), as a decimal number object keeps it.
struct Decimal {
  std::string text;
  bool operator==(const Decimal& o) const { return text == o.text; }
};

// A point in time, seconds since 1970-01-01 UTC.
struct Date {
  double since1970 = 0;
  bool operator==(const Date& o) const { return since1970 == o.since1970; }
};

using Array = std::vector<Value>;

// Insertion-ordered string-keyed map. Setting an existing key replaces its value in place.
// Held by a Value in place; the members that need Value complete are defined below it.
class Dictionary {
 public:
  using Entry = std::pair<std::string, Value>;
  // User-provided, so that a const empty dictionary can be declared without an initializer.
  Dictionary() noexcept;
  Dictionary(std::initializer_list<Entry> entries);
  // Takes the entries as they are; a key given twice keeps its first position and its last
  // value, as setting them one by one would.
  explicit Dictionary(std::vector<Entry>&& entries);
  Dictionary(const Dictionary& other);
  Dictionary& operator=(const Dictionary& other);
  Dictionary(Dictionary&&) noexcept = default;
  Dictionary& operator=(Dictionary&&) noexcept = default;

  size_t size() const;
  bool empty() const;
  bool contains(std::string_view key) const { return indexOf(key) >= 0; }
  // nullptr when absent.
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  // A null value when absent.
  const Value& get(std::string_view key) const;
  void set(std::string key, Value value);
  bool erase(std::string_view key);
  void clear();
  // Room for `count` entries without reallocation.
  void reserve(size_t count);
  std::vector<std::string> keys() const;

  std::vector<Entry>::const_iterator begin() const;
  std::vector<Entry>::const_iterator end() const;
  std::vector<Entry>::iterator begin();
  std::vector<Entry>::iterator end();

  bool operator==(const Dictionary& other) const;  // same keys and values, any order

 private:
  long indexOf(std::string_view key) const;
  void rebuildIndex();
  void indexInsert(size_t position);

  std::vector<Entry> entries_;
  // Once a dictionary grows past a few entries, an open-addressing table of positions
  // (position + 1; 0 is empty) keeps lookups constant without copying any key. It is kept up
  // to date by every mutation, so lookups on a const dictionary never write. Its size follows
  // from the count of entries (indexSlots), so the dictionary stays as small as a string.
  std::unique_ptr<uint32_t[]> index_;
};

class Value {
 public:
  enum class Type { Null, Boolean, Integer, Unsigned, Double, Decimal, String, Data, Date, Array, Dictionary };

  Value() noexcept : bits_(0) {}
  // Defined below, once Dictionary is complete.
  Value(const Value&);
  Value(Value&&) noexcept;
  Value& operator=(const Value&);
  Value& operator=(Value&&) noexcept;
  ~Value();
  Value(std::nullptr_t) noexcept : bits_(0) {}
  Value(bool b) noexcept : bits_(b ? 1 : 0), type_(Type::Boolean) {}
  Value(int i) noexcept : Value(int64_t(i), Type::Integer) {}
  Value(long i) noexcept : Value(int64_t(i), Type::Integer) {}
  Value(long long i) noexcept : Value(int64_t(i), Type::Integer) {}
  Value(unsigned u) noexcept : bits_(u), type_(Type::Unsigned) {}
  Value(unsigned long u) noexcept : bits_(u), type_(Type::Unsigned) {}
  Value(unsigned long long u) noexcept : bits_(u), type_(Type::Unsigned) {}
  Value(double d) noexcept : bits_(std::bit_cast<uint64_t>(d)), type_(Type::Double) {}
  Value(const char* s) : string_(s), type_(Type::String) {}
  Value(std::string s) noexcept : string_(std::move(s)), type_(Type::String) {}
  Value(std::string_view s) : string_(s), type_(Type::String) {}
  Value(Decimal d) noexcept : decimal_(std::move(d)), type_(Type::Decimal) {}
  Value(Date d) noexcept : bits_(std::bit_cast<uint64_t>(d.since1970)), type_(Type::Date) {}
  Value(Bytes data) noexcept : bytes_(std::move(data)), type_(Type::Data) {}
  Value(Array a) noexcept;
  Value(Dictionary d) noexcept;

  static Value decimal(std::string text) { return Value(Decimal{std::move(text)}); }
  static Value date(double since1970) { return Value(Date{since1970}); }

  Type type() const { return type_; }
  bool isNull() const { return type() == Type::Null; }
  bool isBoolean() const { return type() == Type::Boolean; }
  // Integer, unsigned, double or decimal (not boolean).
  bool isNumber() const;
  bool isString() const { return type() == Type::String; }
  bool isData() const { return type() == Type::Data; }
  bool isDate() const { return type() == Type::Date; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // Conversions: numbers and booleans convert between kinds; a string is
  // read as a number from its leading text ("12abc" → 12, "abc" → 0); anything else is 0.
  bool boolValue() const;
  int64_t integerValue() const;
  uint64_t unsignedValue() const;
  double doubleValue() const;
  // The text of a string; a number or boolean as its description; "" otherwise.
  std::string stringValue() const;
  // As "%@" prints it: strings plain, numbers as numbers ("1", "0.5"), booleans "1"/"0",
  // null "(null)", containers in a property-list-like form. Containers nested more than
  // kDescribedLevels deep show as "(...)" or "{...}": each level indents its lines further,
  // so a deep value would otherwise take text (and stack) growing with the square of its depth.
  std::string description() const;
  static constexpr int kDescribedLevels = 128;

  // Typed access; the empty value of that type when the value is of another type.
  const std::string& string() const;
  const Bytes& data() const;
  const Array& array() const;
  const Dictionary& dictionary() const;
  double dateValue() const;  // seconds since 1970
  const std::string& decimalText() const;
  // Mutable access turns a value of another type into an empty one of that type.
  Array& mutableArray();
  Dictionary& mutableDictionary();

  // Dictionary helpers (null when not a dictionary or absent).
  const Value& operator[](std::string_view key) const;
  // Array helper (null when out of range or not an array).
  const Value& operator[](size_t index) const;
  size_t size() const;  // count of an array, dictionary, string (bytes) or data; else 0

  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

  static const Value& null();

 private:
  // True for an array or dictionary that holds at least one value.
  bool hasChildren() const;
  // Empties an array or dictionary, releasing its children's own children first, by
  // recursion while `level` is below a bound; past it, children that still hold children are
  // moved to `deeper` for the caller to release.
  void releaseChildren(int level, std::vector<Value>& deeper);
  // Equality of this value alone: for containers, their kind and size.
  bool shallowEqual(const Value& other) const;

  // Scalars live in bits_ (a boolean as 0 or 1, signed numbers two's complement, doubles
  // and dates as their bit pattern), so moving, copying and destroying them is a word copy
  // or nothing; the other kinds are held in place.
  Value(int64_t i, Type type) noexcept : bits_(static_cast<uint64_t>(i)), type_(type) {}
  // Decimal, String, Data, Array and Dictionary: kinds with something to release.
  static bool holdsResources(Type type) { return (1u << static_cast<unsigned>(type)) & 0x6E0u; }
  // Builds this value, whose storage holds nothing, from `other`'s content of the same kind,
  // leaving `other` null.
  void moveResourcesFrom(Value& other) noexcept;
  void copyShallowFrom(const Value& other);
  // Releases what the value holds; it must be rebuilt or left to go.
  void destroy() noexcept;

  union {
    uint64_t bits_;
    Decimal decimal_;
    std::string string_;
    Bytes bytes_;
    Array array_;
    Dictionary dictionary_;
  };
  Type type_ = Type::Null;
};

inline Value::Value(Value&& other) noexcept : type_(other.type_) { moveResourcesFrom(other); }

inline Value::~Value() {
  if (holdsResources(type_)) destroy();
}

inline void Value::moveResourcesFrom(Value& other) noexcept {
  switch (type_) {
    case Type::Decimal: new (&decimal_) Decimal(std::move(other.decimal_)); break;
    case Type::String: new (&string_) std::string(std::move(other.string_)); break;
    case Type::Data: new (&bytes_) Bytes(std::move(other.bytes_)); break;
    case Type::Array: new (&array_) Array(std::move(other.array_)); break;
    case Type::Dictionary: new (&dictionary_) Dictionary(std::move(other.dictionary_)); break;
    default: bits_ = other.bits_;
  }
  // What is left behind holds nothing (a scalar, or an empty string or container), so it
  // becomes null without being destroyed, and going away costs it nothing.
  other.type_ = Type::Null;
  other.bits_ = 0;
}

inline Dictionary::Dictionary() noexcept {}
inline size_t Dictionary::size() const { return entries_.size(); }
inline bool Dictionary::empty() const { return entries_.empty(); }
inline void Dictionary::reserve(size_t count) { entries_.reserve(count); }
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::begin() const { return entries_.begin(); }
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::end() const { return entries_.end(); }
inline std::vector<Dictionary::Entry>::iterator Dictionary::begin() { return entries_.begin(); }
inline std::vector<Dictionary::Entry>::iterator Dictionary::end() { return entries_.end(); }

}  // namespace platform
