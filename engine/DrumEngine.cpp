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
  int cursor = 0;
  for (const TimedMessage& m : messages) {
    // Render up to the message's frame, so the voice it starts begins exactly there.
    const int at = std::clamp(static_cast<int>(std::min<uint32_t>(m.frame, static_cast<uint32_t>(frames))), cursor, frames);
    if (at > cursor) {
      mixer_.render(out.advanced(cursor), at - cursor);
      cursor = at;
    }
    trigger_.HandleShortMessage(m.message);
  }
  if (cursor < frames) mixer_.render(out.advanced(cursor), frames - cursor);
  mixer_.endCycle();
}

}  // namespace zumbel
