#include "OfflineRenderer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "DrumEngine.h"
#include "MidiFile.h"
#include "ShortMessage.h"

namespace zumbel {

int64_t songFrameCount(const MidiSong& song, int rate) {
  return std::max<int64_t>(song.endFrame(rate), song.events.empty() ? 0 : song.frameAt(song.events.back(), rate) + 1);
}

RenderSummary renderSong(DrumEngine& engine, const MidiSong& song, const RenderOptions& options) {
  RenderSummary summary;
  const int rate = engine.mixer().deviceRate();
  engine.trigger().setMidiChannel(std::clamp(options.channel, 1, kMidiChannels));

  std::vector<int64_t> frameOf(song.events.size());
  for (std::size_t i = 0; i < song.events.size(); ++i) {
    frameOf[i] = song.frameAt(song.events[i], rate);
    const uint32_t m = song.events[i].message;
    if ((messageStatus(m) & 0xF0) == 0x90 && messageData2(m) > 0) ++summary.noteOnsPerChannel[messageStatus(m) & 0x0F];
  }
  summary.songFrames = songFrameCount(song, rate);
  const bool fixedTail = options.tailSeconds >= 0;
  const int64_t tail = static_cast<int64_t>(std::llround((fixedTail ? options.tailSeconds : kMaxAutoTailSeconds) * rate));
  const int64_t last = summary.songFrames + tail;

  const int pairs = std::clamp(options.outputPairs, 1, kMixerOutputPairs);
  std::vector<float> buffers(static_cast<std::size_t>(2 * pairs * kRenderSongBlockFrames));
  OutputPairs out;
  out.count = pairs;
  for (int k = 0; k < pairs; ++k) {
    out.left[static_cast<std::size_t>(k)] = buffers.data() + static_cast<std::ptrdiff_t>(2 * k) * kRenderSongBlockFrames;
    out.right[static_cast<std::size_t>(k)] = buffers.data() + static_cast<std::ptrdiff_t>(2 * k + 1) * kRenderSongBlockFrames;
  }
  std::vector<TimedMessage> batch;
  std::size_t next = 0;
  int64_t reported = -1;
  for (int64_t start = 0, frames = 0; start < last; start += frames) {
    // The output is the same whatever the cycles; the long ones end before the song does, so the
    // check for silence below sees the same short cycles as ever.
    const int cycle = start + kRenderSongBlockFrames < summary.songFrames ? kRenderSongBlockFrames : kRenderBlockFrames;
    frames = std::min<int64_t>(cycle, last - start);
    batch.clear();
    while (next < song.events.size() && frameOf[next] < start + frames) {
      batch.push_back(TimedMessage{static_cast<uint32_t>(frameOf[next] - start), song.events[next].message});
      ++next;
    }
    if (pairs == 1 && options.place) {
      const auto [left, right] = options.place(static_cast<int>(frames));
      out.left[0] = left && right ? left : buffers.data();
      out.right[0] = left && right ? right : buffers.data() + kRenderSongBlockFrames;
    }
    engine.process(out, static_cast<int>(frames), batch);
    summary.frames += frames;
    const bool taken = pairs > 1 ? !options.pairSink || options.pairSink(out, static_cast<int>(frames))
                                 : !options.sink || options.sink(out.left[0], out.right[0], static_cast<int>(frames));
    if (!taken) {
      summary.stopped = true;
      break;
    }
    if (!fixedTail && start + frames >= summary.songFrames && next == song.events.size() &&
        engine.mixer().activeSlotCount() == 0) {
      break;
    }
    if (options.progress && (start >> 16) != reported) {
      reported = start >> 16;
      options.progress(static_cast<double>(start) / static_cast<double>(last));
    }
  }
  if (options.progress) options.progress(1.0);
  return summary;
}

}  // namespace zumbel
