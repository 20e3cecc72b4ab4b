#include "LampPainter.h"

#include "KitbeatDoc.h"
#include "ViewRenderer.h"
#include "ViewState.h"

namespace zumbel {

LampPainter::LampPainter(const Indicators& indicators, const CKitbeatDoc& doc, const ViewState& state,
                         ViewRenderer& renderer)
    : indicators_(indicators), doc_(doc), state_(state), renderer_(renderer) {
  changes_ = indicators_.changeCount();
  for (int key = 0; key < Indicators::kKeys; ++key) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
      shown_[static_cast<std::size_t>(key * kLayerCount + layer)] = indicators_.pad(key, layer);
      flashes_[static_cast<std::size_t>(key * kLayerCount + layer)] = indicators_.padFlashes(key, layer);
    }
  }
  midiShown_ = indicators_.midiLamp();
  midiFlashes_ = indicators_.midiFlashes();
}

void LampPainter::drawPad(int key, int layer, PadLamp lamp) {
  PadLook look = PadLook::kIdleEmpty;
  switch (lamp) {
    case PadLamp::kLitLoaded: look = PadLook::kLitLoaded; break;
    case PadLamp::kLitEmpty: look = PadLook::kLitEmpty; break;
    case PadLamp::kIdle: {
      // A released pad returns to its resting look: marked when its layer plays its own sample.
      const int sound = state_.firstShownSound + key;
      const bool own = sound >= 0 && sound < kSoundCount && doc_.sound(sound).sources[layer] == layer;
      look = own ? PadLook::kIdleLoaded : PadLook::kIdleEmpty;
      break;
    }
  }
  renderer_.drawPad(key, layer, look);
}

bool LampPainter::poll() {
  const uint32_t changes = indicators_.changeCount();
  // Something lit and released again since the last frame is still to be shown released.
  bool pendingRestore = false;
  for (std::size_t i = 0; i < shown_.size() && !pendingRestore; ++i) {
    pendingRestore = shown_[i] != PadLamp::kIdle;
  }
  if (changes == changes_ && !pendingRestore && midiShown_ == indicators_.midiLamp()) return false;
  changes_ = changes;
  bool drew = false;
  for (int key = 0; key < Indicators::kKeys; ++key) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const auto i = static_cast<std::size_t>(key * kLayerCount + layer);
      const PadLamp now = indicators_.pad(key, layer);
      const uint32_t flashes = indicators_.padFlashes(key, layer);
      PadLamp show = now;
      // Lit and already released: show the lit look for this frame, the rest look next frame.
      const bool hit = flashes != flashes_[i];
      if (hit && now == PadLamp::kIdle) show = indicators_.lastLit(key, layer);
      flashes_[i] = flashes;
      // A new hit draws even when the pad should already look lit: a redraw of the keyboards
      // (another octave pair shown) may have put it back to rest.
      if (show == shown_[i] && !hit) continue;
      drawPad(key, layer, show);
      shown_[i] = show;
      drew = true;
    }
  }
  const bool midiNow = indicators_.midiLamp();
  const uint32_t midiFlashes = indicators_.midiFlashes();
  const bool midiShow = midiNow || midiFlashes != midiFlashes_;
  midiFlashes_ = midiFlashes;
  if (midiShow != midiShown_) {
    renderer_.drawMidiLamp(midiShow);
    midiShown_ = midiShow;
    drew = true;
  }
  return drew;
}

}  // namespace zumbel
