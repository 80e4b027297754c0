#include "plot/png_encoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> kTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    return table;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t Adler32(const std::vector<unsigned char>& data) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

void PutBigEndian(std::vector<unsigned char>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
}

// Deflate's bit order: values least significant bit first, Huffman codes most
// significant bit first.
class BitWriter {
 public:
  void Bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  void Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  std::vector<unsigned char> Finish() {
    if (used_ > 0) bytes_.push_back(current_);
    return std::move(bytes_);
  }

 private:
  void Bit(std::uint32_t bit) {
    current_ |= static_cast<unsigned char>(bit << used_);
    if (++used_ == 8) {
      bytes_.push_back(current_);
      current_ = 0;
      used_ = 0;
    }
  }
  std::vector<unsigned char> bytes_;
  unsigned char current_ = 0;
  int used_ = 0;
};

// The fixed literal/length code of deflate's block type 1.
void Symbol(BitWriter& bits, int symbol) {
  if (symbol < 144) bits.Code(0x30 + symbol, 8);
  else if (symbol < 256) bits.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280) bits.Code(symbol - 256, 7);
  else bits.Code(0xC0 + symbol - 280, 8);
}

// A copy of the previous byte, length 3..258 (distance 1).
void RepeatPrevious(BitWriter& bits, int length) {
  static const int kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const int kExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  int code = 28;
  while (kBase[code] > length) --code;
  Symbol(bits, 257 + code);
  bits.Bits(static_cast<std::uint32_t>(length - kBase[code]), kExtra[code]);
  bits.Code(0, 5);  // distance code 0: one byte back
}

std::vector<unsigned char> Deflate(const std::vector<unsigned char>& data) {
  BitWriter bits;
  bits.Bits(1, 1);  // the final block
  bits.Bits(1, 2);  // fixed codes
  std::size_t i = 0;
  while (i < data.size()) {
    const unsigned char byte = data[i];
    Symbol(bits, byte);
    ++i;
    std::size_t run = 0;
    while (i + run < data.size() && data[i + run] == byte) ++run;
    while (run >= 3) {
      const int length = static_cast<int>(run < 258 ? run : 258);
      RepeatPrevious(bits, length);
      i += length;
      run -= length;
    }
  }
  Symbol(bits, 256);
  return bits.Finish();
}

void PutChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, Crc32(out.data() + typeAt, out.size() - typeAt));
}

}  // namespace

std::string EncodePng(int width, int height, const unsigned char* rgb) {
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  std::vector<unsigned char> filtered;
  filtered.reserve((stride + 1) * height);
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = rgb + stride * y;
    filtered.push_back(2);  // "Up": each byte less the one above it (nothing above the top row)
    for (std::size_t x = 0; x < stride; ++x) {
      filtered.push_back(static_cast<unsigned char>(row[x] - (y > 0 ? (row - stride)[x] : 0)));
    }
  }

  std::vector<unsigned char> zlib = {0x78, 0x01};
  const std::vector<unsigned char> deflated = Deflate(filtered);
  zlib.insert(zlib.end(), deflated.begin(), deflated.end());
  PutBigEndian(zlib, Adler32(filtered));

  std::vector<unsigned char> header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, standard filters, no interlace

  std::vector<unsigned char> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", zlib);
  PutChunk(out, "IEND", {});
  return std::string(out.begin(), out.end());
}
