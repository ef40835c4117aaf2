// ShortText: item names kept inline up to 15 bytes, on the heap beyond.
#include "model/short_text.hpp"

#include <new>

namespace velmor {

ShortText::ShortText(std::string_view text) {
  std::memset(bytes_, 0, sizeof bytes_);
  const size_t n = text.size();
  if (n <= kInline) {
    if (n) std::memcpy(bytes_, text.data(), n);
    bytes_[kTag] = static_cast<char>(n);
    return;
  }
  // Seven bytes of length: far beyond any allocation that can succeed.
  if (n >> 56 != 0) throw std::bad_alloc();
  char* p = new char[n];
  std::memcpy(p, text.data(), n);
  std::memcpy(bytes_, &p, sizeof p);
  for (size_t k = sizeof p, rest = n; k < kTag; ++k, rest >>= 8) bytes_[k] = static_cast<char>(rest & 0xff);
  bytes_[kTag] = kHeap;
}

void ShortText::release() noexcept {
  if (on_heap()) delete[] heap_data();
}

}  // namespace velmor
