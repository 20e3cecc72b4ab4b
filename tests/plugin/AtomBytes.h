#pragma once
// Atoms written byte by byte, as a careless or hostile host might send them: every size in them is
// whatever the caller says, so one can claim more, or less, than follows it.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace zumbel::test {

class AtomBytes {
 public:
  AtomBytes& u32(uint32_t v) { return raw(&v, sizeof v); }
  AtomBytes& i64(int64_t v) { return raw(&v, sizeof v); }
  AtomBytes& text(std::string_view s) { return raw(s.data(), s.size()); }
  AtomBytes& append(const AtomBytes& other) { return raw(other.bytes_.data(), other.bytes_.size()); }
  // Zeros up to the next multiple of 8, as every atom inside a sequence or object is padded.
  AtomBytes& pad() {
    bytes_.resize((bytes_.size() + 7) / 8 * 8, 0);
    return *this;
  }
  AtomBytes& raw(const void* data, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
    return *this;
  }

  const std::vector<uint8_t>& bytes() const noexcept { return bytes_; }
  uint32_t size() const noexcept { return static_cast<uint32_t>(bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
};

// An event of a sequence at `frame`: an atom of `type` whose header claims `claimed` bytes (the
// body's true size unless given), the body, and the padding.
inline AtomBytes atomEvent(int64_t frame, uint32_t type, const AtomBytes& body, std::optional<uint32_t> claimed = {}) {
  AtomBytes event;
  event.i64(frame).u32(claimed.value_or(body.size())).u32(type).append(body).pad();
  return event;
}

// A property of an object: its key, context 0, and a value atom as atomEvent writes one.
inline AtomBytes atomProperty(uint32_t key, uint32_t type, const AtomBytes& body, std::optional<uint32_t> claimed = {}) {
  AtomBytes property;
  property.u32(key).u32(0).u32(claimed.value_or(body.size())).u32(type).append(body).pad();
  return property;
}

// An object's body: id 0, its type, then its properties.
inline AtomBytes objectBody(uint32_t otype, std::initializer_list<AtomBytes> properties) {
  AtomBytes object;
  object.u32(0).u32(otype);
  for (const AtomBytes& p : properties) object.append(p);
  return object;
}

}  // namespace zumbel::test
