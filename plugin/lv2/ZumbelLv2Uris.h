#pragma once
// The plugins' names on the LV2 graph; the bundle's Turtle files use the same.

#define ZUMBEL_LV2_URI "https://zumbel.nordwick.org/lv2"

namespace zumbel {

inline constexpr const char* kZumbelPluginUri = ZUMBEL_LV2_URI;
// The same instrument with an output for each of the mixer's stereo pairs.
inline constexpr const char* kZumbelMultiUri = ZUMBEL_LV2_URI "/multi";
// The drum set a host chooses through a file chooser and keeps in its session.
inline constexpr const char* kZumbelSetUri = ZUMBEL_LV2_URI "#set";

}  // namespace zumbel
