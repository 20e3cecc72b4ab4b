#include "SetExtras.h"

#include <algorithm>
#include <bit>

#include "TextEncoding.h"

namespace zumbel {

bool SoundExtras::isDefault() const {
  return name.empty() && level == 0 && output == 0 && chokeGroup == kNoChokeGroup &&
         roundRobin == kRoundRobinTurn && !hasAlternates() &&
         std::all_of(layerGain.begin(), layerGain.end(), [](const RelaxedInt& g) { return g == 0; });
}

bool operator==(const SoundExtras& a, const SoundExtras& b) {
  return a.name == b.name && a.level == b.level && a.output == b.output && a.layerGain == b.layerGain &&
         a.chokeGroup == b.chokeGroup && a.roundRobin == b.roundRobin && a.alternates == b.alternates;
}

bool operator==(const SetExtras& a, const SetExtras& b) {
  return a.grabThreshold == b.grabThreshold && a.kept == b.kept && a.sounds == b.sounds;
}

bool SoundExtras::hasAlternates() const {
  return std::any_of(alternates.begin(), alternates.end(), [](const auto& a) { return !a.empty(); });
}

void SoundMask::set(int n, bool on) noexcept {
  if (n < 0 || n >= kSoundCount) return;
  std::atomic<uint64_t>& w = words_[static_cast<std::size_t>(n / 64)];
  const uint64_t bit = uint64_t{1} << (n % 64);
  w.store(on ? (w.load(std::memory_order_relaxed) | bit) : (w.load(std::memory_order_relaxed) & ~bit),
          std::memory_order_relaxed);
}

int SoundMask::count() const noexcept {
  int total = 0;
  for (int w = 0; w < kWords; ++w) total += std::popcount(word(w));
  return total;
}

bool SetExtras::soundsAreDefault() const {
  return grabThreshold == kDefaultGrabThreshold && std::all_of(sounds.begin(), sounds.end(), [](const SoundExtras& s) { return s.isDefault(); });
}

void SetExtras::setChokeGroup(int n, int32_t group) noexcept {
  if (n < 0 || n >= kSoundCount) return;
  if (group < kNoChokeGroup || group > kMaxChokeGroups) group = kNoChokeGroup;
  SoundExtras& s = sounds[static_cast<std::size_t>(n)];
  const int32_t old = s.chokeGroup;
  if (old > kNoChokeGroup && old <= kMaxChokeGroups) choke_[static_cast<std::size_t>(old)].set(n, false);
  s.chokeGroup = group;
  if (group != kNoChokeGroup) choke_[static_cast<std::size_t>(group)].set(n, true);
}

void SetExtras::assignSound(int n, SoundExtras extras) {
  if (n < 0 || n >= kSoundCount) return;
  SoundExtras& s = sounds[static_cast<std::size_t>(n)];
  const int32_t group = extras.chokeGroup;
  // The member lists still hold n under its old group until setChokeGroup moves it.
  extras.chokeGroup = s.chokeGroup;
  s = std::move(extras);
  setChokeGroup(n, group);
}

const SoundMask& SetExtras::chokeMembers(int32_t group) const noexcept {
  if (group <= kNoChokeGroup || group > kMaxChokeGroups) return choke_[0];
  return choke_[static_cast<std::size_t>(group)];
}

int32_t voiceTrim(const SoundExtras& s, int layer) {
  const int32_t level = s.level;
  if (level == kLevelOff) return kLevelOff;
  return level + (layer >= 0 && layer < kLayerCount ? s.layerGain[static_cast<std::size_t>(layer)].load() : 0);
}

std::string SoundNameFrom(std::string_view text) {
  std::size_t size = std::min(text.size(), kMaxSoundNameBytes);
  // A continuation byte (10xxxxxx) at the cut would split a character: the cut moves back to
  // the byte that starts it.
  if (size < text.size()) {
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  }
  std::string name(text.substr(0, size));
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return name;
}

bool IsAlternatePath(std::string_view path) {
  if (path.empty() || path.size() > kMaxAlternatePathBytes) return false;
  // JSON holds only UTF-8: a path of other bytes would come back as a different name.
  for (std::size_t at = 0; at < path.size();) {
    char32_t c = 0;
    if (!decodeUtf8(path, at, c) || c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

}  // namespace zumbel
