#include "DrumEngine.h"

#include <algorithm>

#include "DenormalGuard.h"
#include "RealtimeScope.h"

namespace zumbel {

DrumEngine::DrumEngine(const CKitbeatDoc& doc, int deviceRate)
    : mixer_(deviceRate), voices_(mixer_), trigger_(doc, voices_, indicators_) {}

void DrumEngine::process(const OutputPairs& out, int frames, std::span<const TimedMessage> messages) noexcept {
  const RealtimeScope realtime;
  const DenormalGuard noDenormals;
  mixer_.beginCycle();
  // Each message takes effect at its frame: what it tells the slots is captured there, and each
  // piece of the block is mixed once with every change at its frame.
  std::size_t next = 0;
  int cursor = 0;
  int piece = 0;
  do {
    const int end = piece + std::min(frames - piece, kMaxBlockFrames);
    mixer_.beginSpan(out.advanced(piece), end - piece);
    for (; next < messages.size(); ++next) {
      const TimedMessage& m = messages[next];
      const int at = std::clamp(static_cast<int>(std::min<uint32_t>(m.frame, static_cast<uint32_t>(frames))), cursor, frames);
      // A message on the piece's last frame belongs to the next piece, unless this is the last.
      if (at > end || (at == end && end < frames)) break;
      if (at > cursor) {
        mixer_.capture(cursor - piece);
        cursor = at;
      }
      trigger_.HandleShortMessage(m.message);
    }
    if (cursor < end) {
      mixer_.capture(cursor - piece);
      cursor = end;
    }
    mixer_.endSpan();
    piece = end;
  } while (piece < frames);
  mixer_.endCycle();
}

}  // namespace zumbel
