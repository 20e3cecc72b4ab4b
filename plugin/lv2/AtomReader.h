#pragma once
// Reading the atoms a host sends without trusting a size in them. A sequence's events and an
// object's properties are each an 8-byte head (a time; a key and a context), an atom header and
// the atom's body, padded to 8 bytes. An entry is read only when its whole body lies inside its
// container; sizes are added in 64 bits, so no claimed size can wrap a sum; and a walk ends at the
// first entry that claims more than is left, since nothing after it can be found (the container is
// then not whole, and a message in it is best left unread). The only size
// taken on the host's word is the port buffer's own (the sequence's header): nothing can check it.
// Headers are copied out, so a buffer of any alignment reads safely. No allocation, no lock.

#include <lv2/atom/atom.h>

#include <cstdint>
#include <cstring>
#include <span>

namespace zumbel {

// An atom found inside a container: its type and its whole body.
struct AtomView {
  uint32_t type = 0;
  std::span<const uint8_t> body;
};

// The entries of a sequence or an object body, in order.
class AtomEntries {
 public:
  struct Entry {
    uint8_t head[8];
    AtomView atom;
  };

  AtomEntries() = default;
  explicit AtomEntries(std::span<const uint8_t> entries) noexcept : bytes_(entries) {}

  bool next(Entry& entry) noexcept {
    constexpr uint64_t kHeader = 8 + sizeof(LV2_Atom);
    const uint64_t size = bytes_.size();
    if (offset_ >= size) return false;
    if (size - offset_ < kHeader) {
      whole_ = false;  // an entry cut short in its header
      return false;
    }
    LV2_Atom atom;
    std::memcpy(entry.head, bytes_.data() + offset_, sizeof entry.head);
    std::memcpy(&atom, bytes_.data() + offset_ + 8, sizeof atom);
    const uint64_t left = size - offset_ - kHeader;
    if (atom.size > left) {
      offset_ = size;  // a lying size: nothing after it can be located
      whole_ = false;
      return false;
    }
    entry.atom = AtomView{atom.type, bytes_.subspan(offset_ + kHeader, atom.size)};
    offset_ += kHeader + ((uint64_t{atom.size} + 7) & ~uint64_t{7});
    return true;
  }

  // Once next() has returned false: whether every entry was found, none cut short or lying.
  bool whole() const noexcept { return whole_; }

 private:
  std::span<const uint8_t> bytes_;
  uint64_t offset_ = 0;
  bool whole_ = true;
};

// The atom at the start of a port buffer the host says holds its header and `size` bytes more.
inline AtomView portAtom(const LV2_Atom* atom) noexcept {
  if (atom == nullptr) return {};
  LV2_Atom header;
  std::memcpy(&header, atom, sizeof header);
  return AtomView{header.type, std::span(reinterpret_cast<const uint8_t*>(atom) + sizeof header, header.size)};
}

// A sequence's events: each its frame (in the sequence's unit) and its atom.
class SequenceReader {
 public:
  struct Event {
    int64_t frames = 0;
    AtomView atom;
  };

  // Nothing when `sequence` is no sequence or too short for its own header.
  SequenceReader(AtomView sequence, uint32_t sequenceType) noexcept {
    if (sequence.type == sequenceType && sequence.body.size() >= sizeof(LV2_Atom_Sequence_Body)) {
      entries_ = AtomEntries(sequence.body.subspan(sizeof(LV2_Atom_Sequence_Body)));
    }
  }

  bool next(Event& event) noexcept {
    AtomEntries::Entry entry;
    if (!entries_.next(entry)) return false;
    std::memcpy(&event.frames, entry.head, sizeof event.frames);
    event.atom = entry.atom;
    return true;
  }

 private:
  AtomEntries entries_;
};

// An object's type and its properties: each its key and its value.
class ObjectReader {
 public:
  struct Property {
    uint32_t key = 0;
    AtomView value;
  };

  // No type and no properties when `object` is no object or too short for its own header.
  ObjectReader(AtomView object, uint32_t objectType) noexcept {
    if (object.type == objectType && object.body.size() >= sizeof(LV2_Atom_Object_Body)) {
      LV2_Atom_Object_Body head;
      std::memcpy(&head, object.body.data(), sizeof head);
      otype_ = head.otype;
      entries_ = AtomEntries(object.body.subspan(sizeof head));
    }
  }

  // 0 for anything that is no object: no message has it.
  uint32_t otype() const noexcept { return otype_; }
  // Once next() has returned false: whether the object held its header and every property.
  bool whole() const noexcept { return otype_ != 0 && entries_.whole(); }

  bool next(Property& property) noexcept {
    AtomEntries::Entry entry;
    if (!entries_.next(entry)) return false;
    std::memcpy(&property.key, entry.head, sizeof property.key);
    property.value = entry.atom;
    return true;
  }

 private:
  uint32_t otype_ = 0;
  AtomEntries entries_;
};

// The URID an atom of `uridType` holds; 0 (no URID) for any other atom or a body too short.
inline uint32_t atomUrid(AtomView atom, uint32_t uridType) noexcept {
  uint32_t value = 0;
  if (atom.type == uridType && atom.body.size() >= sizeof value) std::memcpy(&value, atom.body.data(), sizeof value);
  return value;
}

}  // namespace zumbel
