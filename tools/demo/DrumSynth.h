#pragma once
// The drum synthesiser behind the demo kit. Every velocity layer is its own performance: harder
// hits are brighter, sweep further in pitch and ring longer; softer ones are darker and shorter.

#include <cstdint>
#include <string_view>
#include <vector>

namespace zumbel::demo {

enum class Instrument {
  Kick,
  Snare,
  SideStick,
  Clap,
  LowTom,
  MidTom,
  HighTom,
  ClosedHat,
  PedalHat,
  OpenHat,
  Crash,
  Ride,
};

// Loudest first.
enum class Layer { Hard, Medium, Soft, Ghost };

std::string_view layerName(Layer layer);  // "Hard", "Medium", ...

// One layer as 16-bit mono samples at the demo rate, mastered to the layer's peak level. The same
// arguments always give the same samples.
std::vector<int16_t> synthesise(Instrument instrument, Layer layer);

}  // namespace zumbel::demo
