// ShortText: the text type of item names (variables, rows, indicator
// constraints, semidefinite variables), 16 bytes instead of a std::string's
// 32. Names are many and mostly short, so a text of up to 15 bytes is kept in
// the object itself; a longer one lives on the heap.
//
// Layout, bytes 0..15: inline, bytes 0..14 hold the text and byte 15 its
// length (0..15; the unused bytes are zero, so an empty text is all zeros);
// on the heap, bytes 0..7 hold the pointer, bytes 8..14 the length (56 bits,
// lowest byte first) and byte 15 is kHeap.
//
// A value type like std::string: copies own their bytes, moves leave the
// source empty and never throw, allocation failure throws std::bad_alloc.
// A view() into an inline text moves with the object: it lives only as long
// as the object stays where it is (not across a reallocation of its vector).
#pragma once
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace velmor {

class ShortText {
 public:
  ShortText() noexcept { std::memset(bytes_, 0, sizeof bytes_); }
  ShortText(std::string_view text);  // NOLINT: converts like std::string
  ShortText(const std::string& text) : ShortText(std::string_view(text)) {}  // NOLINT
  ShortText(const char* text) : ShortText(std::string_view(text)) {}         // NOLINT
  ShortText(const ShortText& other) : ShortText(other.view()) {}
  ShortText(ShortText&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    std::memset(other.bytes_, 0, sizeof other.bytes_);
  }
  ShortText& operator=(const ShortText& other) {
    if (this != &other) *this = ShortText(other);
    return *this;
  }
  ShortText& operator=(ShortText&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
      std::memset(other.bytes_, 0, sizeof other.bytes_);
    }
    return *this;
  }
  ~ShortText() { release(); }

  std::string_view view() const noexcept {
    if (on_heap()) return {heap_data(), heap_size()};
    return {bytes_, static_cast<size_t>(bytes_[kTag])};
  }
  std::string str() const { return std::string(view()); }
  size_t size() const noexcept { return on_heap() ? heap_size() : static_cast<size_t>(bytes_[kTag]); }
  bool empty() const noexcept { return size() == 0; }

  friend bool operator==(const ShortText& a, const ShortText& b) noexcept { return a.view() == b.view(); }
  friend bool operator!=(const ShortText& a, const ShortText& b) noexcept { return !(a == b); }

 private:
  static constexpr size_t kInline = 15;  // the longest text kept inline
  static constexpr size_t kTag = 15;     // the byte telling the two apart
  static constexpr char kHeap = static_cast<char>(0x80);

  bool on_heap() const noexcept { return bytes_[kTag] == kHeap; }
  const char* heap_data() const noexcept {
    const char* p;
    std::memcpy(&p, bytes_, sizeof p);
    return p;
  }
  size_t heap_size() const noexcept {
    size_t n = 0;
    for (size_t k = kTag; k-- > sizeof(char*);) n = n << 8 | static_cast<unsigned char>(bytes_[k]);
    return n;
  }
  void release() noexcept;

  alignas(8) char bytes_[16];
};

static_assert(sizeof(ShortText) == 16, "a name takes 16 bytes");
static_assert(sizeof(char*) == 8, "the heap form holds an 8-byte pointer");

}  // namespace velmor
