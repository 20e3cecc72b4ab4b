#pragma once
// The notes a soak run plays (bench/soak-run): every sound of a set that has a sample, one after
// another at a steady rate in random order, each note-on at a random velocity (1..127) and its
// note-off 10 to 200 ms later. The JACK sender and the LV2 host play the same stream, each on its
// own frame count. Generating a block allocates nothing and takes no lock, so it runs in a JACK
// process callback.

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zumbel::bench {

// The MIDI notes (sound index + 36, up to 127) of the set's sounds that have a sample on any
// layer. Empty when the set does not open.
std::vector<int> notesWithSamples(const std::string& setPath);

class NoteStream {
 public:
  // Without `noteOffs` only note-ons are sent, as most drum pads do.
  NoteStream(std::vector<int> notes, int rate, double notesPerSecond, unsigned seed, bool noteOffs = true)
      : notes_(std::move(notes)), rate_(rate), perSecond_(notesPerSecond), random_(seed), sendsNoteOffs_(noteOffs) {}

  // Calls emit(offset, status, note, velocity) for every message due in frames [start, start +
  // frames) of the stream, in frame order; offset is within the block.
  template <typename Emit>
  void block(uint64_t start, uint32_t frames, Emit&& emit) noexcept {
    const uint64_t end = start + frames;
    for (;;) {
      const std::size_t off = earliestOff();
      const bool onDue = playing_ && !notes_.empty() && nextOnFrame() < end;
      const bool offDue = off < pendingCount_ && pending_[off].frame < end;
      if (!onDue && !offDue) return;
      if (offDue && (!onDue || pending_[off].frame <= nextOnFrame())) {
        emit(offsetIn(pending_[off].frame, start), 0x80, pending_[off].note, 64);
        pending_[off] = pending_[--pendingCount_];
        ++offsSent_;
        continue;
      }
      const uint64_t at = nextOnFrame();
      const int note = notes_[std::uniform_int_distribution<std::size_t>(0, notes_.size() - 1)(random_)];
      emit(offsetIn(at, start), 0x90, note, std::uniform_int_distribution<int>(1, 127)(random_));
      ++noteOns_;
      ++index_;
      if (!sendsNoteOffs_) continue;
      const auto hold = static_cast<uint64_t>(std::uniform_int_distribution<int>(10, 200)(random_)) *
                        static_cast<uint64_t>(rate_) / 1000;
      if (pendingCount_ < pending_.size()) {
        pending_[pendingCount_++] = Pending{at + hold, note};
      } else {
        // More notes held than the table takes (only at rates far above a drummer's): the
        // note-off goes at once.
        emit(offsetIn(at, start), 0x80, note, 64);
        ++offsSent_;
      }
    }
  }

  // No further note-ons; the note-offs still due go out as their time comes.
  void stopNotes() noexcept { playing_ = false; }
  bool quiet() const noexcept { return !playing_ && pendingCount_ == 0; }
  uint64_t noteOns() const noexcept { return noteOns_; }
  uint64_t noteOffs() const noexcept { return offsSent_; }

 private:
  struct Pending {
    uint64_t frame;
    int note;
  };

  uint64_t nextOnFrame() const noexcept {
    return static_cast<uint64_t>(static_cast<double>(index_) * rate_ / perSecond_);
  }
  std::size_t earliestOff() const noexcept {
    std::size_t best = pendingCount_;
    for (std::size_t i = 0; i < pendingCount_; ++i) {
      if (best == pendingCount_ || pending_[i].frame < pending_[best].frame) best = i;
    }
    return best;
  }
  static uint32_t offsetIn(uint64_t frame, uint64_t start) noexcept {
    return static_cast<uint32_t>(std::max(frame, start) - start);
  }

  std::vector<int> notes_;
  int rate_;
  double perSecond_;
  std::mt19937 random_;
  bool sendsNoteOffs_;
  bool playing_ = true;
  uint64_t index_ = 0;
  std::array<Pending, 256> pending_{};
  std::size_t pendingCount_ = 0;
  uint64_t noteOns_ = 0;
  uint64_t offsSent_ = 0;
};

}  // namespace zumbel::bench
