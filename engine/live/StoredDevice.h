#pragma once
// Device numbers are kept in the settings beside the device's name. The lists behind the numbers
// change between runs (a sound server started or stopped, a card held by another program, a
// program with audio inputs closed), so a number alone can name a neighbouring device at the next
// start; the name decides which device was meant.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace zumbel {

// The number of the stored device in `names`: `number` while it still names that device, else
// wherever the name is now, else nothing (the device is gone). Without a stored name (settings
// written before names were kept) the number stands as it is.
inline std::optional<int> findStoredDevice(int number, const std::string& name, const std::vector<std::string>& names) {
  if (name.empty()) return number;
  const auto count = static_cast<int>(names.size());
  if (number >= 0 && number < count && names[static_cast<std::size_t>(number)] == name) return number;
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return std::nullopt;
  return static_cast<int>(found - names.begin());
}

}  // namespace zumbel
