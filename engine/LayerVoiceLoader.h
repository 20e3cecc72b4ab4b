#pragma once
// The one way a layer's voice is made from a pool sample: find the file (the stored path, the
// set's folder, the folder the user last pointed at, then the user), read it, build the voice
// and publish it in the voice table. Runs on the user-interface thread; the window, the
// command-line renderer and the tests differ only in how they answer the locate question.
// Loading a whole set reads the files on every core meanwhile. Layers using the same, unchanged
// file share one block.
//
// Whenever a layer's voice is made, the alternates its sound's extras list for that layer are
// made with it, as takes of that voice (SampleVoice.h). An alternate is found by the same probes
// as a pool sample but never asked for, and one that cannot be found, read or given a mixer slot
// is left out without a message; missingAlternates() lists them for the caller to tell the user.

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "KitbeatDoc.h"
#include "SampleCache.h"

namespace zumbel {

class DrumEngine;
class Prompts;
class SampleReadAhead;
class SampleVoice;

// Asked when no probe finds a sample: given the suggested path, returns the file the user
// picked, or nothing when they cancelled.
using LocateSampleFn = std::function<std::optional<std::string>(const std::string& suggestedPath)>;
// Told how far loadAllVoices has got: (layers done, layers to load), from (0, total) on. False
// stops the load before the next sample is read (the user cancelled, or the program is ending),
// and the reads other threads have begun stop at their next step.
using LoadProgressFn = std::function<bool(int done, int total)>;

class LayerVoiceLoader {
 public:
  LayerVoiceLoader(CKitbeatDoc& doc, DrumEngine& engine, Prompts* prompts);

  // Without a locate function a sample no probe finds simply fails to load.
  void setLocate(LocateSampleFn locate) { locate_ = std::move(locate); }
  // Reading hundreds of files takes seconds; the window shows progress and keeps repainting.
  void setProgress(LoadProgressFn progress) { progress_ = std::move(progress); }
  // The folder (with its trailing separator) of the last file the user located; it lives as long
  // as the view and is probed for every later sample.
  const std::string& lastLocatedFolder() const { return lastLocatedFolder_; }
  void setLastLocatedFolder(std::string folder) { lastLocatedFolder_ = std::move(folder); }

  // Where the file of a pool path is, as the probes find it, without asking anybody.
  std::optional<std::string> find(const std::string& storedPath) const;

  // Whether a sample given to a sound that has no rate of its own yet lends the sound its file's
  // rate, so a recording made at 48 kHz plays at its natural pitch.
  enum class SoundRate { kKeep, kFromFile };

  // Fills voice table slot (n, j) with a new voice for the sample at `path` and, when
  // `setReference` is true, points layer j of sound n at (group, entry). False leaves the slot,
  // the reference, the sound and the pool untouched. The caller releases any voice already in
  // the slot.
  bool LoadLayerVoice(const std::string& path, int n, int j, int group, int entry, bool setReference,
                      SoundRate rate = SoundRate::kKeep);
  // Makes layer j of sound n again from its reference and its alternates as they are now, and
  // publishes it in place of the voice there: what the window calls after the layer's alternates
  // changed. The sample is the reference's pool path as the probes find it, else the file the
  // layer's voice already plays, else (with `mayLocate`) the file the user locates. False (no
  // reference, a reference outside the pool, no file, no voice) leaves the slot as it was.
  bool ReloadLayerVoice(int n, int j, bool mayLocate = true);

  // Samples the user chose not to locate while the set was relinked: their layers stay silent
  // without the same question coming again when their voices are built.
  void declineLocating(std::string path) { declined_.insert(std::move(path)); }
  void clearDeclined() { declined_.clear(); }

  // A voice for every layer whose reference names a pool entry, without touching references.
  // Returns the number of layers that got no voice, those a stopped load left out included; a
  // stopped load ends with (total, total) all the same.
  int loadAllVoices();
  // Why the last LoadLayerVoice made no voice (kLoaded after one that did), and the file it had
  // found for the sample (empty when it found none). An unopenable file has already been told.
  enum class Failure { kLoaded, kNotFound, kCannotOpen, kNotSound, kNoMemory };
  Failure lastFailure() const { return failure_; }
  const std::string& failedFile() const { return failedFile_; }

  // The files of the last load (LoadLayerVoice or loadAllVoices) that were found but gave no
  // voice because memory ran out, each once. Who started the load tells the user.
  const std::vector<std::string>& outOfMemory() const { return outOfMemory_; }
  // The alternates (as the extras name them) of the last load (LoadLayerVoice, ReloadLayerVoice
  // or loadAllVoices) that were left out: not found, not a sound, no memory or no mixer slot
  // left, each once. Their layers play the takes that did load.
  const std::vector<std::string>& missingAlternates() const { return missingAlternates_; }

  // Threads loadAllVoices reads with (default: one per core). 1 reads on this thread alone.
  void setReadThreads(int threads) { readThreads_ = threads; }

 private:
  // The file a layer's sample is in, asking the user when no probe finds it.
  std::optional<std::string> locate(const std::string& path);
  // The block for `used`: one a voice already plays when the file is unchanged, else read now.
  DecodedSample obtain(const std::string& used);
  // `reads`, when given, holds files read ahead, alternates' among them.
  bool buildVoice(const std::string& used, DecodedSample sample, int n, int j, int group, int entry,
                  bool setReference, SoundRate rate, SampleReadAhead* reads = nullptr);
  // Gives `voice` the alternates of layer j of sound n that can be had.
  void addAlternates(SampleVoice& voice, int n, int j, SampleReadAhead* reads);
  void alternateMissing(const std::string& path);
  // Mixer slots layer j of sound n takes with all its alternates.
  int slotsFor(int n, int j) const;

  CKitbeatDoc& doc_;
  DrumEngine& engine_;
  Prompts* prompts_;
  SampleCache cache_;
  int readThreads_;
  LocateSampleFn locate_;
  LoadProgressFn progress_;
  std::string lastLocatedFolder_;
  std::unordered_set<std::string> declined_;
  std::vector<std::string> outOfMemory_;
  std::vector<std::string> missingAlternates_;
  Failure failure_ = Failure::kLoaded;
  std::string failedFile_;
};

}  // namespace zumbel
