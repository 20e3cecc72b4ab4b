#pragma once
// What the note trigger engine wants the window to show: the MIDI activity lamp and the lamps of
// the 24 keys on screen (two keyboards of 12, five pads each). The audio thread only stores
// small values here; the window polls them once per display frame and draws what changed, so a
// note never waits for drawing.

#include <array>
#include <atomic>
#include <cstdint>

#include "Limits.h"

namespace zumbel {

enum class PadLamp : int32_t {
  kIdle = 0,       // drawn as the layer's resting look
  kLitLoaded = 1,  // a hit that played
  kLitEmpty = 2,   // a hit on a sound with no sample
};

class Indicators {
 public:
  static constexpr int kKeys = 24;  // keys 0..11 on the left keyboard, 12..23 on the right

  // --- audio thread ---
  void setMidiLamp(bool lit) noexcept {
    midiLamp_.store(lit ? 1 : 0, std::memory_order_relaxed);
    if (lit) midiFlashes_.fetch_add(1, std::memory_order_relaxed);
    changed();
  }
  void lightPad(int key, int layer, bool emptySound) noexcept {
    if (key < 0 || key >= kKeys || layer < 0 || layer >= kLayerCount) return;
    const PadLamp look = emptySound ? PadLamp::kLitEmpty : PadLamp::kLitLoaded;
    pads_[index(key, layer)].store(static_cast<int32_t>(look), std::memory_order_relaxed);
    lastLit_[index(key, layer)].store(static_cast<int32_t>(look), std::memory_order_relaxed);
    flashes_[index(key, layer)].fetch_add(1, std::memory_order_relaxed);
    changed();
  }
  void resetKey(int key) noexcept {
    if (key < 0 || key >= kKeys) return;
    for (int j = 0; j < kLayerCount; ++j) pads_[index(key, j)].store(0, std::memory_order_relaxed);
    changed();
  }

  // --- user-interface thread ---
  // Grows with every change; read it first, then the lamps.
  uint32_t changeCount() const noexcept { return changes_.load(std::memory_order_acquire); }
  bool midiLamp() const noexcept { return midiLamp_.load(std::memory_order_relaxed) != 0; }
  PadLamp pad(int key, int layer) const noexcept {
    if (key < 0 || key >= kKeys || layer < 0 || layer >= kLayerCount) return PadLamp::kIdle;
    return static_cast<PadLamp>(pads_[index(key, layer)].load(std::memory_order_relaxed));
  }
  // How often a pad or the MIDI lamp was lit so far, and the pad's last lit look: a drum hit's
  // note-off often follows within a display frame, and the window still shows the flash.
  uint32_t padFlashes(int key, int layer) const noexcept {
    if (key < 0 || key >= kKeys || layer < 0 || layer >= kLayerCount) return 0;
    return flashes_[index(key, layer)].load(std::memory_order_relaxed);
  }
  PadLamp lastLit(int key, int layer) const noexcept {
    if (key < 0 || key >= kKeys || layer < 0 || layer >= kLayerCount) return PadLamp::kIdle;
    return static_cast<PadLamp>(lastLit_[index(key, layer)].load(std::memory_order_relaxed));
  }
  uint32_t midiFlashes() const noexcept { return midiFlashes_.load(std::memory_order_relaxed); }

 private:
  static std::size_t index(int key, int layer) { return static_cast<std::size_t>(key * kLayerCount + layer); }
  void changed() noexcept { changes_.fetch_add(1, std::memory_order_release); }

  std::atomic<int32_t> midiLamp_{0};
  std::array<std::atomic<int32_t>, kKeys * kLayerCount> pads_{};
  std::array<std::atomic<int32_t>, kKeys * kLayerCount> lastLit_{};
  std::array<std::atomic<uint32_t>, kKeys * kLayerCount> flashes_{};
  std::atomic<uint32_t> midiFlashes_{0};
  std::atomic<uint32_t> changes_{0};
};

}  // namespace zumbel
