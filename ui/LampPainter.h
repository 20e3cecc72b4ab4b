#pragma once
// Brings the engine's lamps to the screen. The audio thread only stores into Indicators; the
// window calls poll() once per display frame and draws what changed. A pad lit and released again
// between two polls (a short drum hit) is still shown lit for one frame.

#include <array>
#include <cstdint>

#include "Indicators.h"

namespace zumbel {

class CKitbeatDoc;
class ViewRenderer;
struct ViewState;

class LampPainter {
 public:
  LampPainter(const Indicators& indicators, const CKitbeatDoc& doc, const ViewState& state, ViewRenderer& renderer);

  // Draws every lamp whose state changed since the last poll; true when it drew anything.
  bool poll();

 private:
  static constexpr int kPads = Indicators::kKeys * kLayerCount;

  void drawPad(int key, int layer, PadLamp lamp);

  const Indicators& indicators_;
  const CKitbeatDoc& doc_;
  const ViewState& state_;
  ViewRenderer& renderer_;
  uint32_t changes_ = 0;
  std::array<PadLamp, kPads> shown_{};
  std::array<uint32_t, kPads> flashes_{};
  bool midiShown_ = false;
  uint32_t midiFlashes_ = 0;
};

}  // namespace zumbel
