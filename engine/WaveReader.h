#pragma once
// Turns one ".wav" file into a block of 16-bit stereo PCM at the file's own sample rate, ready
// for sample voices to play. libsndfile decodes, so every encoding it knows inside a RIFF
// "WAVE" file reads: 8-bit unsigned, 16/24/32-bit PCM, 32/64-bit float, µ-law, A-law, IMA and MS
// ADPCM and the rest. AIFF (and AIFC) and FLAC files read too: drum kits from elsewhere, such as
// the Hydrogen kits a set can be imported from, come in them.
//
// DecodeSampleFile does the work and may run on any thread, several files at once. WaveReader
// wraps it for the user-interface thread: it keeps the last block and tells the user about a file
// that cannot be opened. Each read starts by dropping the previous block, and a failed read leaves
// none.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PcmBlock.h"

namespace zumbel {

class Prompts;

// What the user is told about a sample file that cannot be opened at all. The box names no
// caption of its own, so it has the desktop's usual one for an error rather than the program's
// name: a box given no title here would show the program's name all the same.
inline constexpr std::string_view kCouldNotOpenFile = "Could not OpenFile";
inline constexpr std::string_view kCouldNotOpenFileCaption = "Error";

// What the user is told about sample files that are there, but for which memory ran out; a long
// list names the first few.
std::string NotEnoughMemoryText(const std::vector<std::string>& files);

// Which file was read, and as it was then: a file rewritten since has a new modification time
// (or size), so its blocks are not taken for the new content.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  int64_t bytes = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at `path` now; false when there is none to look at.
bool StatFileIdentity(const std::string& path, FileIdentity& identity);

struct DecodedSample {
  // kNoMemory: the file may well be a sound, but there was no memory for its block.
  enum class Status { kOk, kCannotOpen, kNotSound, kNoMemory };
  Status status = Status::kNotSound;
  std::shared_ptr<const PcmBlock> pcm;  // set when kOk; may hold no frames
  FileIdentity identity;
  // As WaveReader's fields of the same names.
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint16_t bitsPerSample = 0;
};

// Why the file at `path` is not one DecodeSampleFile would read, judged from its headers alone
// (nothing is decoded): "cannot be opened (reason)", "is not a WAV, AIFF or FLAC sound file", or
// "is too long for a sample". Empty when it reads.
std::string SampleFileProblem(const std::string& path);

// Reads and decodes one file. Shows nothing; safe to call from several threads at once. `stop`
// (may be null), once set from another thread, ends the read at its next step with no block.
DecodedSample DecodeSampleFile(const std::string& path, const std::atomic<bool>* stop = nullptr);

class WaveReader {
 public:
  // `prompts` (not owned, may be null) hears about files that cannot be opened at all, and
  // about those memory runs out for.
  explicit WaveReader(Prompts* prompts = nullptr);

  // 0 on success, 1 on failure. A file that cannot be opened for reading (missing, no
  // permission, a folder) tells the user, with "Could not OpenFile", and one for which memory
  // runs out says so; a file that opens but is not a WAV, AIFF or FLAC file this reader decodes
  // fails silently. A WAV with no frames succeeds with an empty block.
  int ReadWave(const std::string& path);

  // Interleaved L R L R ... frames at the file's own rate, always stereo: a mono file's samples
  // are in both channels, a file of more than two channels gives its first two.
  std::span<const int16_t> data() const;
  const PcmBlock* block() const { return block_.get(); }
  // Hands the block over (one value a frame for a mono file); the reader keeps nothing of it.
  std::shared_ptr<const PcmBlock> takeBlock();
  void release();
  // Bytes of the frames as data() gives them: 4 per frame.
  uint32_t length() const;

  // The file as libsndfile reports it after a successful read (all zero after a failure). The
  // channel count is the file's, not the block's. Bits per sample are the encoding's nominal size
  // (4 for ADPCM, 8 for µ-law, 0 for codecs without one), block align is channels * bits / 8, and
  // the format tag is 1 whatever the file's encoding, since the block is plain PCM.
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;

 private:
  void clearFormat();

  Prompts* prompts_;
  std::shared_ptr<const PcmBlock> block_;
  mutable std::vector<int16_t> stereo_;  // a mono block spread out by data()
};

}  // namespace zumbel
