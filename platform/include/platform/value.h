#pragma once
// The dictionary/array/number/string/data/date/null family the clients pass around.
// Numbers keep their kind: signed, unsigned, double and decimal (text-backed) are distinct,
// and a boolean is not a number. Dictionaries keep insertion order, so anything written
// from them is byte-stable. Values are plain copyable values (a value moved from is null);
// not thread-safe to mutate while another thread reads, but copies may be used and dropped
// on different threads. Copying, comparing and destroying take stack space independent of
// how deeply arrays and dictionaries nest (a parser allowed a high depth may build values
// hundreds of thousands of levels deep).
//
// A value is 16 bytes: scalars and texts of up to 14 bytes are held in place. A tree that a
// reader builds (ValueStack) lives in one block of memory shared by all its values, freed
// at once when the last value that holds a part of it goes. A copy of a part of such a tree
// shares the tree when the part took at least an eighth of it (or the tree is under 4 KiB);
// a smaller part is copied out, so that a part kept never holds more of a tree than eight
// times its own size. Changing a container shared from a tree gives it storage of its own,
// and it keeps the tree while it lives: text and members read from the tree before the
// change stay valid, as they would in a container built one value at a time.
#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace platform {

class Value;
class Array;
class Dictionary;
class ValueStack;
using Bytes = std::vector<uint8_t>;

namespace detail {
struct ArrayBlock;
struct DictionaryBlock;
class ValueArena;
struct ValueAccess;
}  // namespace detail

// The text of a string value, a dictionary key or a decimal: a view always followed by a NUL
// (so c_str() holds), that turns into a std::string wherever one is wanted. It stays valid
// while the value it came from lives unchanged: text that must outlive its value is taken as
// a std::string or with str() (`auto` and a lambda's `[x = v.string()]` keep the view).
class StringRef : public std::string_view {
 public:
  constexpr StringRef() noexcept : std::string_view("", 0) {}
  const char* c_str() const noexcept { return data(); }
  std::string str() const { return std::string(data(), size()); }
  operator std::string() const { return str(); }

 private:
  friend class Value;
  constexpr StringRef(const char* text, size_t size) noexcept : std::string_view(text, size) {}
};

// Joined with other text as a std::string would be.
inline std::string operator+(const std::string& a, StringRef b) { return std::string(a).append(b); }
inline std::string operator+(std::string&& a, StringRef b) { return std::move(a.append(b)); }
inline std::string operator+(StringRef a, const std::string& b) { return std::string(a).append(b); }
inline std::string operator+(const char* a, StringRef b) { return std::string(a).append(b); }
inline std::string operator+(StringRef a, const char* b) { return std::string(a).append(b); }
inline std::string operator+(char a, StringRef b) { return std::string(1, a).append(b); }
inline std::string operator+(StringRef a, char b) { return std::string(a) + b; }
inline std::string operator+(StringRef a, StringRef b) { return std::string(a).append(b); }

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

// An ordered list of values, with the calls of a vector. Held by a value in place.
class Array {
 public:
  using value_type = Value;
  using size_type = size_t;
  using difference_type = std::ptrdiff_t;
  using reference = Value&;
  using const_reference = const Value&;
  using iterator = Value*;
  using const_iterator = const Value*;

  // User-provided, so that a const empty array can be declared without an initializer.
  Array() noexcept {}
  Array(std::initializer_list<Value> values);
  template <class It, class = typename std::iterator_traits<It>::iterator_category>
  Array(It first, It last) : Array() {
    // Delegating: once the empty array is made, a failing copy runs the destructor, which
    // releases what was built.
    for (; first != last; ++first) emplace_back(*first);
  }
  Array(const Array& other);
  Array(Array&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  Array& operator=(const Array& other);
  Array& operator=(Array&& other) noexcept;
  ~Array();

  size_t size() const;
  bool empty() const { return size() == 0; }
  size_t capacity() const;
  const Value& operator[](size_t index) const;
  Value& operator[](size_t index);
  const Value& front() const;
  const Value& back() const;
  Value& front();
  Value& back();
  const Value* begin() const;
  const Value* end() const;
  const Value* cbegin() const { return begin(); }
  const Value* cend() const { return end(); }
  // The changing calls give a shared array storage of its own first.
  Value* begin();
  Value* end();

  void push_back(const Value& value);
  void push_back(Value&& value);
  template <class... Args>
  Value& emplace_back(Args&&... args);
  void pop_back();
  void reserve(size_t count);
  void resize(size_t count);
  void clear();
  Value* insert(const Value* position, Value value);
  Value* erase(const Value* position);
  Value* erase(const Value* first, const Value* last);

  bool operator==(const Array& other) const;

 private:
  friend class Value;
  friend class ValueStack;
  friend struct detail::ValueAccess;
  // Makes the storage this array's own and able to hold `count` values; returns where the
  // next value goes.
  Value* slotForAppend();
  void own(size_t capacity);

  detail::ArrayBlock* block_ = nullptr;
};

class DictionaryEntry;

// Insertion-ordered string-keyed map. Setting an existing key replaces its value in place.
// Held by a value in place.
class Dictionary {
 public:
  using Entry = DictionaryEntry;
  Dictionary() noexcept {}
  Dictionary(std::initializer_list<std::pair<std::string_view, Value>> entries);
  Dictionary(const Dictionary& other);
  Dictionary(Dictionary&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  Dictionary& operator=(const Dictionary& other);
  Dictionary& operator=(Dictionary&& other) noexcept;
  ~Dictionary();

  size_t size() const;
  bool empty() const { return size() == 0; }
  bool contains(std::string_view key) const { return indexOf(key) >= 0; }
  // nullptr when absent.
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  // A null value when absent.
  const Value& get(std::string_view key) const;
  void set(std::string_view key, Value value);
  bool erase(std::string_view key);
  void clear();
  // Room for `count` entries without reallocation.
  void reserve(size_t count);
  std::vector<std::string> keys() const;

  const Entry* begin() const;
  const Entry* end() const;
  // The changing calls give a shared dictionary storage of its own first.
  Entry* begin();
  Entry* end();

  bool operator==(const Dictionary& other) const;  // same keys and values, any order

 private:
  friend class Value;
  friend class ValueStack;
  friend struct detail::ValueAccess;
  long indexOf(std::string_view key) const;
  void own(size_t capacity);

  detail::DictionaryBlock* block_ = nullptr;
};

class Value {
 public:
  enum class Type { Null, Boolean, Integer, Unsigned, Double, Decimal, String, Data, Date, Array, Dictionary };

  Value() noexcept { setScalar(Type::Null, 0); }
  Value(const Value& other);
  Value(Value&& other) noexcept { moveFrom(other); }
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value() {
    if (storage() >= kHeap) release();
  }
  Value(std::nullptr_t) noexcept : Value() {}
  Value(bool b) noexcept { setScalar(Type::Boolean, b ? 1 : 0); }
  Value(int i) noexcept { setScalar(Type::Integer, static_cast<uint64_t>(int64_t{i})); }
  Value(long i) noexcept { setScalar(Type::Integer, static_cast<uint64_t>(int64_t{i})); }
  Value(long long i) noexcept { setScalar(Type::Integer, static_cast<uint64_t>(int64_t{i})); }
  Value(unsigned u) noexcept { setScalar(Type::Unsigned, u); }
  Value(unsigned long u) noexcept { setScalar(Type::Unsigned, u); }
  Value(unsigned long long u) noexcept { setScalar(Type::Unsigned, u); }
  Value(double d) noexcept;
  Value(const char* s) : Value(std::string_view(s)) {}
  Value(const std::string& s) : Value(std::string_view(s)) {}
  Value(std::string_view s) { setText(Type::String, s); }
  Value(StringRef s) : Value(std::string_view(s)) {}
  Value(Decimal d) { setText(Type::Decimal, d.text); }
  Value(Date d) noexcept;
  Value(Bytes data);
  Value(Array a) noexcept;
  Value(Dictionary d) noexcept;

  static Value decimal(std::string_view text) {
    Value v;
    v.setText(Type::Decimal, text);
    return v;
  }
  static Value date(double since1970) { return Value(Date{since1970}); }

  Type type() const { return static_cast<Type>(tag_ & kTypeMask); }
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
  // A decimal's text is read exactly: integerValue() and unsignedValue() give its integer
  // part (the fraction dropped) when that fits the kind asked for, and 0 when it does not
  // (refused, never a nearby number: "1e19" has no signed value, "-1" no unsigned one);
  // "NaN" and text that is not a decimal number give 0. doubleValue() is the nearest double.
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
  StringRef string() const { return type() == Type::String ? text() : StringRef(); }
  const Bytes& data() const;
  const Array& array() const;
  const Dictionary& dictionary() const;
  double dateValue() const;  // seconds since 1970
  StringRef decimalText() const { return type() == Type::Decimal ? text() : StringRef(); }
  // Mutable access turns a value of another type into an empty one of that type.
  Array& mutableArray();
  Dictionary& mutableDictionary();

  // Dictionary helpers (null when not a dictionary or absent).
  const Value& operator[](std::string_view key) const;
  // Array helper (null when out of range or not an array).
  const Value& operator[](size_t index) const;
  size_t size() const;  // count of an array, dictionary, string (bytes) or data; else 0

  // Numbers of different kinds compare by exact value, a decimal's text read exactly: 1,
  // decimal "1" and decimal "1.0" are all equal, while decimal "9007199254740993" is not the
  // integer 9007199254740992 and decimal "0.1" is not the double nearest it. NaN equals NaN.
  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

  static const Value& null();

 private:
  friend class Array;
  friend class Dictionary;
  friend class ValueStack;
  friend struct detail::ValueAccess;

  // The low bits of the tag hold the type; the high ones where the content lives.
  static constexpr uint8_t kTypeMask = 0x0F;
  enum Storage : uint8_t {
    kNone = 0x00,    // a scalar in the first word, or nothing
    kInline = 0x10,  // a text of up to kInlineText bytes in place
    kTree = 0x20,    // a text or container inside a tree's shared block, not held by this value
    kHeap = 0x30,    // what this value holds and releases: its own text, data or container
  };
  static constexpr size_t kInlineText = 14;
  uint8_t storage() const { return tag_ & 0x30; }

  void setScalar(Type type, uint64_t bits) noexcept {
    bits_ = bits;
    tag_ = static_cast<uint8_t>(type);
  }
  // A text of `type` (string or decimal) held in place or in a block of its own.
  void setText(Type type, std::string_view text);
  // A text of up to kInlineText bytes, held in place, made at `at` (storage for a value).
  static Value* placeInlineText(void* at, Type type, std::string_view text) noexcept;
  StringRef text() const {
    if (storage() == kInline) return StringRef(inlineText(), kInlineText - room_);
    return StringRef(chars_, size_);
  }
  // A text in place spans the first 14 bytes; room_ after it is its NUL when it is full.
  const char* inlineText() const { return reinterpret_cast<const char*>(this); }
  char* inlineText() { return reinterpret_cast<char*>(this); }
  uint64_t bits() const { return bits_; }
  void moveFrom(Value& other) noexcept;
  // Releases what the value holds (kHeap): it must be rebuilt or left to go.
  void release() noexcept;
  void copyShallowFrom(const Value& other);
  // True for an array or dictionary that holds at least one value.
  bool hasChildren() const;
  // Equality of this value alone: for containers, their kind and size.
  bool shallowEqual(const Value& other) const;

  union {
    uint64_t bits_;
    const char* chars_;
    Bytes* bytes_;
    Array array_;
    Dictionary dictionary_;
  };
  uint32_t size_;  // a text's size when it is not in place
  char spare_[2];
  uint8_t room_;  // a text in place: kInlineText less its size
  uint8_t tag_;
};

static_assert(sizeof(Value) == 16, "a value is two words");

// A dictionary's member: `key()` and `second`, or `auto& [key, value]`. Entries cannot be
// assigned or swapped (so not sorted in place either): the dictionary's index of its keys
// follows their places. Their values can.
class DictionaryEntry {
 public:
  DictionaryEntry(const DictionaryEntry&) = default;
  DictionaryEntry& operator=(const DictionaryEntry&) = delete;
  StringRef key() const { return key_.string(); }
  Value second;

  template <size_t I>
  decltype(auto) get() const {
    if constexpr (I == 0) return key();
    else return (second);
  }
  template <size_t I>
  decltype(auto) get() {
    if constexpr (I == 0) return key();
    else return (second);
  }

 private:
  friend class Dictionary;
  friend class ValueStack;
  friend struct detail::ValueAccess;
  DictionaryEntry(Value&& key, Value&& value) noexcept : second(std::move(value)), key_(std::move(key)) {}
  Value key_;
};

inline Value* Value::placeInlineText(void* at, Type type, std::string_view text) noexcept {
  // Written straight where it goes, one word at a time: a value made elsewhere and copied
  // whole would be read back before its two halves had been written.
  Value* v = new (at) Value();
  const char* p = text.data();
  const size_t n = text.size();
  char* bytes = reinterpret_cast<char*>(v);
  if constexpr (std::endian::native == std::endian::little) {
    // Two words made from whole-word loads inside the text (overlapping where it is short),
    // rather than a copy of a size not known in advance.
    uint64_t low = 0, high = 0;
    if (n >= 8) {
      std::memcpy(&low, p, 8);
      if (n > 8) {
        uint64_t last;
        std::memcpy(&last, p + n - 8, 8);
        high = last >> (8 * (16 - n));
      }
    } else if (n >= 4) {
      uint32_t first, last;
      std::memcpy(&first, p, 4);
      std::memcpy(&last, p + n - 4, 4);
      low = first | (uint64_t{last} << (8 * (n - 4)));
    } else if (n > 0) {
      low = uint64_t{static_cast<unsigned char>(p[0])} |
            (uint64_t{static_cast<unsigned char>(p[n / 2])} << (8 * (n / 2))) |
            (uint64_t{static_cast<unsigned char>(p[n - 1])} << (8 * (n - 1)));
    }
    high |= (uint64_t{kInlineText - n} << 48) | (uint64_t{static_cast<uint8_t>(static_cast<uint8_t>(type) | kInline)} << 56);
    std::memcpy(bytes, &low, 8);
    std::memcpy(bytes + 8, &high, 8);
  } else {
    std::memset(bytes, 0, kInlineText);
    std::memcpy(bytes, p, n);
    v->room_ = static_cast<uint8_t>(kInlineText - n);
    v->tag_ = static_cast<uint8_t>(type) | kInline;
  }
  return v;
}

inline const Value& Array::operator[](size_t index) const { return begin()[index]; }
inline Value& Array::operator[](size_t index) { return begin()[index]; }
inline const Value& Array::front() const { return *begin(); }
inline const Value& Array::back() const { return end()[-1]; }
inline Value& Array::front() { return *begin(); }
inline Value& Array::back() { return end()[-1]; }
inline const Value* Array::end() const { return size() ? begin() + size() : begin(); }
inline Value* Array::end() {
  Value* first = begin();
  return size() ? first + size() : first;
}
inline Value* Array::erase(const Value* position) { return erase(position, position + 1); }

template <class... Args>
Value& Array::emplace_back(Args&&... args) {
  Value value(std::forward<Args>(args)...);
  Value* slot = slotForAppend();
  return *new (slot) Value(std::move(value));
}

}  // namespace platform

template <>
struct std::tuple_size<platform::DictionaryEntry> : std::integral_constant<size_t, 2> {};
template <>
struct std::tuple_element<0, platform::DictionaryEntry> {
  using type = platform::StringRef;
};
template <>
struct std::tuple_element<1, platform::DictionaryEntry> {
  using type = platform::Value;
};
