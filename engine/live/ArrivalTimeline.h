#pragma once
// Places a MIDI message stamped on arrival at a frame of the audio stream, a constant delay after
// it arrived. The audio thread is woken a little early or late each period; taken raw, those
// wake-up times would move every note by the same jitter. So the period start times go through a
// delay-locked loop: it follows the average wake-up time and the rate at which periods really
// come (the device's clock drifts against the system's), but not the jitter. Its bandwidth starts
// wide, so the first notes are placed well, and narrows as the estimate settles. After a gap
// (an xrun, a stalled device) it starts afresh. A backend that asks for periods in bursts
// (PulseAudio requests several at once) wakes up to its whole buffer early or late without any
// gap in the sound; such a backend gives that much slack, and only a larger error is a gap.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zumbel {

class ArrivalTimeline {
 public:
  // The loop's bandwidth narrows from wide (but stable for the period) to this, in Hz.
  static constexpr double kSettledBandwidthHz = 0.1;

  // `slackFrames`: how early or late a period may come before it counts as a gap; at least one
  // period.
  void reset(int sampleRate, int periodFrames, int slackFrames = 0) noexcept {
    rate_ = sampleRate > 0 ? sampleRate : 1;
    periodFrames_ = periodFrames > 0 ? periodFrames : 1;
    slackFrames_ = std::max(slackFrames, periodFrames_);
    started_ = false;
  }

  // Call at the start of every period with the time the backend was called and the period's
  // length; returns the time the timeline gives the period's first frame.
  double beginPeriod(uint64_t nowNs, int frames) noexcept {
    const double now = static_cast<double>(nowNs);
    const double error = now - next_;
    if (!started_ || std::fabs(error) > static_cast<double>(slackFrames_) * 1e9 / rate_) {
      started_ = true;
      periods_ = 0;
      current_ = now;
      length_ = periodNs();
      next_ = now + length_ * frames / periodFrames_;
      return current_;
    }
    ++periods_;
    const double seconds = periodNs() / 1e9;
    // 1/elapsed time: early on the loop averages over everything seen so far.
    // Long periods cap the bandwidth below the settled one; the cap wins.
    const double widest = kMaxLoopGain / (2.0 * kPi * seconds);
    const double bandwidth = std::clamp(1.0 / (periods_ * seconds), std::min(kSettledBandwidthHz, widest), widest);
    const double omega = 2.0 * kPi * bandwidth * seconds;
    current_ = next_ + std::sqrt(2.0) * omega * error;
    length_ += omega * omega * error;
    next_ = current_ + length_ * frames / periodFrames_;
    return current_;
  }

  // The frame, counted from `periodStartNs`, at which a message that arrived at `arrivalNs` is
  // due: one period after its arrival. Negative when already late.
  int64_t dueFrame(uint64_t arrivalNs, double periodStartNs) const noexcept {
    const double due = static_cast<double>(arrivalNs) + periodNs() - periodStartNs;
    return static_cast<int64_t>(std::floor(due * rate_ / 1e9));
  }

  double periodNs() const noexcept { return static_cast<double>(periodFrames_) * 1e9 / rate_; }
  int periodFrames() const noexcept { return periodFrames_; }

 private:
  static constexpr double kPi = 3.14159265358979323846;
  // The loop stays well damped while omega stays below about one.
  static constexpr double kMaxLoopGain = 0.5;

  int rate_ = 44100;
  int periodFrames_ = 256;
  int slackFrames_ = 256;
  bool started_ = false;
  int64_t periods_ = 0;
  double current_ = 0.0;  // this period's start
  double next_ = 0.0;     // the next period's expected start
  double length_ = 0.0;   // the period's length as the loop measures it
};

}  // namespace zumbel
