#include "Png.h"

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

namespace ZelSim {

namespace {

void PutBE32(std::string& AOut, std::uint32_t AValue) {
  AOut.push_back(static_cast<char>(AValue >> 24));
  AOut.push_back(static_cast<char>(AValue >> 16));
  AOut.push_back(static_cast<char>(AValue >> 8));
  AOut.push_back(static_cast<char>(AValue));
}

void PutChunk(std::string& AOut, const char* AType, const std::string& AData) {
  PutBE32(AOut, static_cast<std::uint32_t>(AData.size()));
  std::string body(AType, 4);
  body += AData;
  AOut += body;
  const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()),
                         static_cast<uInt>(body.size()));
  PutBE32(AOut, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string MakePng(std::string_view ASeed, int AWidth, int AHeight) {
  const std::size_t hash = std::hash<std::string_view>{}(ASeed);
  const int r0 = static_cast<int>(hash & 0xFF), g0 = static_cast<int>((hash >> 8) & 0xFF),
            b0 = static_cast<int>((hash >> 16) & 0xFF);
  const int stripe = 8 + static_cast<int>((hash >> 24) % 16);

  std::vector<unsigned char> raw;
  raw.reserve(static_cast<std::size_t>(AHeight) * (1 + 3 * AWidth));
  for (int y = 0; y < AHeight; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < AWidth; ++x) {
      const bool band = ((x + y) / stripe) % 2 == 0;
      raw.push_back(static_cast<unsigned char>((r0 + x) & 0xFF));
      raw.push_back(static_cast<unsigned char>((g0 + y) & 0xFF));
      raw.push_back(static_cast<unsigned char>(band ? b0 : 255 - b0));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
               static_cast<uLong>(raw.size())) != Z_OK)
    throw std::runtime_error("PNG compression failed");
  packed.resize(packedSize);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBE32(header, static_cast<std::uint32_t>(AWidth));
  PutBE32(header, static_cast<std::uint32_t>(AHeight));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  return png;
}

}  // namespace ZelSim
