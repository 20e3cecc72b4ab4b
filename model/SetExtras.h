#pragma once
// What a drum set holds beyond its ".drums" file: a name, a level, an output, a choke group and a
// round-robin choice for every sound, and a gain and alternate samples for every layer. The
// ".drums" format has no room for them and must stay as it is, so they travel in a file of their
// own beside the set (ExtrasFile.h). Defaults everywhere mean the set plays exactly as its
// ".drums" file alone says.
//
// The numbers are read by the audio thread while the window edits them, like a sound's settings.
// Names and alternates are read only by the thread that edits them; the audio thread plays
// alternates through the voices built from them.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Limits.h"
#include "RelaxedInt.h"

namespace zumbel {

struct SoundExtras {
  std::string name;              // empty: the sound has no name of its own
  RelaxedInt level{0};           // hundredths of a dB after the volume law, or kLevelOff
  RelaxedInt output{0};          // stereo output pair, 0 = main
  std::array<RelaxedInt, kLayerCount> layerGain{};  // hundredths of a dB on top of the level
  // Written through SetExtras::setChokeGroup, which keeps the group's member list with it.
  RelaxedInt chokeGroup{kNoChokeGroup};
  RelaxedInt roundRobin{kRoundRobinTurn};  // how a layer with alternates picks its take
  // Pool paths played in turn after the layer's own sample, at most kMaxAlternates each.
  std::array<std::vector<std::string>, kLayerCount> alternates{};

  bool isDefault() const;
  bool hasAlternates() const;

  friend bool operator==(const SoundExtras&, const SoundExtras&);
};

// The sounds of one choke group as bits, so a note-on finds the others without looking at every
// sound. Each word is written whole; a reader racing an edit sees the old or the new member list.
class SoundMask {
 public:
  static constexpr int kWords = (kSoundCount + 63) / 64;

  SoundMask() = default;
  SoundMask(const SoundMask& other) noexcept { *this = other; }
  SoundMask& operator=(const SoundMask& other) noexcept {
    for (int w = 0; w < kWords; ++w) words_[static_cast<std::size_t>(w)].store(other.word(w), std::memory_order_relaxed);
    return *this;
  }

  uint64_t word(int w) const noexcept { return words_[static_cast<std::size_t>(w)].load(std::memory_order_relaxed); }
  bool contains(int n) const noexcept { return (word(n / 64) >> (n % 64) & 1U) != 0; }
  void set(int n, bool on) noexcept;
  int count() const noexcept;

 private:
  std::array<std::atomic<uint64_t>, kWords> words_{};
};

struct SetExtras {
  std::array<SoundExtras, kSoundCount> sounds{};
  // Polyphonic aftertouch at or above this value silences the sound of its note, as a hand
  // grabbing a cymbal does; kGrabOff ignores aftertouch.
  RelaxedInt grabThreshold{kDefaultGrabThreshold};
  // The extras file as it was read, so keys a later or another program wrote survive a save.
  std::string kept;

  // No sound has an extra and the set's own settings are their defaults: nothing needs a file.
  bool soundsAreDefault() const;

  // Same sounds, threshold and kept file; the member lists follow from the sounds.
  friend bool operator==(const SetExtras&, const SetExtras&);

  // Puts sound n in group g (kNoChokeGroup: none); anything outside 0..kMaxChokeGroups is none.
  void setChokeGroup(int n, int32_t group) noexcept;
  // Gives sound n all of `extras`, its choke group through setChokeGroup; assigning a
  // SoundExtras whole would leave the member lists as they were.
  void assignSound(int n, SoundExtras extras);
  // The sounds of group g (1..kMaxChokeGroups); the empty mask for anything else.
  const SoundMask& chokeMembers(int32_t group) const noexcept;

 private:
  std::array<SoundMask, kMaxChokeGroups + 1> choke_{};
};

// The gain of one layer's voice: the sound's level and the layer's gain together, in hundredths
// of a dB, or kLevelOff when the sound is off.
int32_t voiceTrim(const SoundExtras& s, int layer);

// A name as a sound keeps it: control characters become spaces (names are shown in tooltips and
// terminal lines), and one longer than kMaxSoundNameBytes is cut at a UTF-8 character boundary,
// so it is still text. `text` is UTF-8.
std::string SoundNameFrom(std::string_view text);

// Whether `path` may be kept as an alternate: UTF-8 text of at most kMaxAlternatePathBytes, not
// empty, without control characters.
bool IsAlternatePath(std::string_view path);

}  // namespace zumbel
