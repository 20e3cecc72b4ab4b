#include "WavWriter.h"

#include <string_view>

namespace zumbel::demo {

namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint32_t kFmtChunkBytes = 16;
constexpr uint16_t kBytesPerSample = 2;

void tag(std::vector<uint8_t>& out, std::string_view fourCc) {
  out.insert(out.end(), fourCc.begin(), fourCc.end());
}

void le16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void le32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::vector<uint8_t> wavImage(const std::vector<int16_t>& samples, int sampleRate, int channels) {
  const auto dataBytes = static_cast<uint32_t>(samples.size() * kBytesPerSample);
  const auto blockAlign = static_cast<uint16_t>(channels * kBytesPerSample);
  std::vector<uint8_t> out;
  out.reserve(8 + 4 + 8 + kFmtChunkBytes + 8 + dataBytes);
  tag(out, "RIFF");
  le32(out, 4 + (8 + kFmtChunkBytes) + (8 + dataBytes));  // 16-bit data needs no pad byte
  tag(out, "WAVE");
  tag(out, "fmt ");
  le32(out, kFmtChunkBytes);
  le16(out, kPcmFormat);
  le16(out, static_cast<uint16_t>(channels));
  le32(out, static_cast<uint32_t>(sampleRate));
  le32(out, static_cast<uint32_t>(sampleRate) * blockAlign);
  le16(out, blockAlign);
  le16(out, 8 * kBytesPerSample);
  tag(out, "data");
  le32(out, dataBytes);
  for (int16_t s : samples) le16(out, static_cast<uint16_t>(s));
  return out;
}

}  // namespace zumbel::demo
