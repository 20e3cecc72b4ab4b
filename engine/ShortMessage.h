#pragma once
// A MIDI short message packed as the engine takes it: status in bits 0..7, data1 in 8..15,
// data2 in 16..23.

#include <cstdint>

namespace zumbel {

constexpr uint32_t packShortMessage(int status, int data1, int data2) noexcept {
  return (static_cast<uint32_t>(status) & 0xFF) | ((static_cast<uint32_t>(data1) & 0xFF) << 8) |
         ((static_cast<uint32_t>(data2) & 0xFF) << 16);
}
constexpr int messageStatus(uint32_t m) noexcept { return static_cast<int>(m & 0xFF); }
constexpr int messageData1(uint32_t m) noexcept { return static_cast<int>((m >> 8) & 0xFF); }
constexpr int messageData2(uint32_t m) noexcept { return static_cast<int>((m >> 16) & 0xFF); }

// A message to be applied at frame `frame` of the current audio cycle.
struct TimedMessage {
  uint32_t frame = 0;
  uint32_t message = 0;
};

}  // namespace zumbel
