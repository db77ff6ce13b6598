#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace levelbook::fuzz {

// Reads a fuzz input front to back as small typed pieces. Past the end every read gives zero
// or empty, so any byte string decodes to something.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::size_t Left() const { return size_ - pos_; }

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  std::uint16_t Uint16() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  // The next 8 bytes as they lie in memory: every double, NaNs and subnormals included.
  double RawDouble() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t{Byte()} << (8 * i);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // A length byte, then that many bytes (fewer at the end).
  std::string ShortBytes() { return Bytes(Byte()); }
  std::string Bytes(std::size_t count) {
    if (count > Left()) count = Left();
    std::string s(reinterpret_cast<const char*>(data_ + pos_), count);
    pos_ += count;
    return s;
  }
  // Up to the next NUL byte (or the end); the NUL is consumed.
  std::string UntilNul() {
    std::string s;
    while (pos_ < size_ && data_[pos_] != 0) s.push_back(static_cast<char>(data_[pos_++]));
    if (pos_ < size_) ++pos_;
    return s;
  }
  std::string Rest() { return Bytes(Left()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A broken promise of the code under test: reported like a crash, so the fuzzer keeps the input.
inline void Require(bool condition, const char* what, std::string_view detail = {}) {
  if (condition) return;
  std::string shown;
  for (const char c : detail) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
  std::fprintf(stderr, "fuzz check failed: %s [%s]\n", what, shown.c_str());
  std::abort();
}

}  // namespace levelbook::fuzz
