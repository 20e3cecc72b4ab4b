// zumbel edit: changes a sound's extras (name, level, output, choke group, round robin, a layer's
// gain and alternate samples) and the set's grab threshold from a script; only the set's extras
// file is written for those. Moving or copying a whole sound changes the ".drums" file too: both
// are saved together, as the window's Save does.

#include <memory>
#include <new>
#include <optional>

#include "CommandArgs.h"
#include "Commands.h"
#include "DrumsFile.h"
#include "ExtrasFile.h"
#include "FileProblems.h"
#include "KitbeatDoc.h"
#include "Printable.h"
#include "SampleProbe.h"
#include "TextEncoding.h"
#include "WaveReader.h"

namespace zumbel {

namespace {

const char kEditHelp[] =
    "Usage: zumbel edit KIT.drums --sound N [--name TEXT] [--level DB|off] [--output K]\n"
    "                   [--choke-group G] [--round-robin turn|random]\n"
    "                   [--layer L [--gain DB] [--clear-alternates] [--add-alternate FILE]...]\n"
    "                   [--grab-threshold V|off]\n"
    "   or: zumbel edit KIT.drums --move-sound A B [--replace|--swap]\n"
    "   or: zumbel edit KIT.drums --copy-sound A B [--replace]\n"
    "Changes what the set's extras file (KIT.zumbel beside KIT.drums) holds for one sound, or for\n"
    "the whole set; the .drums file itself is left byte for byte as it is. Moving or copying a\n"
    "whole sound writes both files.\n"
    "  --sound N             the sound, 0..127, as 'zumbel info' numbers them (MIDI note N + 36)\n"
    "  --name TEXT           its name, shown on its pad and by info (\"\" removes it)\n"
    "  --level DB            its level in dB after the velocity law, -60..+12, or off (silent)\n"
    "  --output K            the stereo output it plays on, 1..8 (1 is the main pair)\n"
    "  --choke-group G       1..32: the sounds of one group silence each other; 0 is none\n"
    "  --round-robin MODE    how a layer with alternates picks its take: turn or random\n"
    "  --layer L             a velocity layer, 0..4, for the three options below\n"
    "  --gain DB             the layer's gain, -60..+12, added to the level\n"
    "  --clear-alternates    removes the layer's alternate samples (before any are added)\n"
    "  --add-alternate FILE  another take of the layer's sample, played after its own: a WAV,\n"
    "                        AIFF or FLAC file, kept by its full path; up to 15 per layer, and\n"
    "                        the option may be given more than once\n"
    "  --grab-threshold V    the polyphonic aftertouch, 1..127, at which a note silences its\n"
    "                        sound, or off; it is the whole set's, so needs no --sound\n"
    "  --move-sound A B      moves sound A (0..127, as --sound takes it) to sound B: its layers,\n"
    "                        settings and extras; A is left empty. Other sounds' cuts\n"
    "                        of A stay; a sound that cut itself still does\n"
    "  --copy-sound A B      copies sound A to sound B, leaving A as it is\n"
    "  --replace             lets a move or copy replace the sound B holds (refused without it)\n"
    "  --swap                makes a move onto a sound that B holds exchange A and B\n";

int fail(std::ostream& err, const std::string& message) { return commandError(err, "edit", message); }

bool isUtf8(std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    char32_t c = 0;
    if (!decodeUtf8(s, at, c)) return false;
  }
  return true;
}

// Why `file` cannot be a layer's alternate, or empty when it can; `path` gets the full path it is
// kept by. It is read the way a layer's sample is read for its voice, so whatever is accepted
// here plays; only a regular file is opened, never waited on, so a pipe or a device is refused
// at once.
std::string alternateProblem(const std::string& file, std::string& path) {
  path = AbsolutePath(file);
  // The extras file is JSON, which holds UTF-8 text only; control characters would reach every
  // terminal and tooltip that shows the path.
  if (!isUtf8(path)) return "the path is not UTF-8 text, which the extras file cannot keep";
  if (!IsAlternatePath(path)) {
    return path.size() > kMaxAlternatePathBytes ? "the path is longer than 4096 bytes" : "the path holds control characters";
  }
  DecodedSample sample;
  try {
    sample = DecodeSampleFile(path);
  } catch (const std::bad_alloc&) {
    sample.status = DecodedSample::Status::kNoMemory;
  }
  switch (sample.status) {
    case DecodedSample::Status::kOk:
      return {};
    case DecodedSample::Status::kCannotOpen: {
      const std::string problem = readProblem(path);
      return problem.empty() ? "cannot be opened" : problem;
    }
    case DecodedSample::Status::kNoMemory:
      return "not enough memory to read it";
    case DecodedSample::Status::kNotSound:
      break;
  }
  return "not a WAV, AIFF or FLAC file Zumbel can play";
}

enum class SoundMove { kMove, kCopy };

std::string soundText(int n) {
  return "sound " + std::to_string(n) + " (MIDI note " + std::to_string(n + kFirstNote) + ")";
}

// Moves, copies or swaps a whole sound and saves the set and its extras as one.
int moveSound(const std::string& file, SoundMove how, int from, int to, bool replace, bool swap, std::ostream& out,
              std::ostream& err) {
  auto doc = std::make_unique<CKitbeatDoc>();
  if (!openKit(*doc, file, "edit", err)) return kExitError;
  const bool copy = how == SoundMove::kCopy;
  if (!doc->sound(to).isEmpty() && !replace && !swap) {
    return fail(err, soundText(to) + " already has a sound; " +
                         (copy ? std::string("--replace puts the copy in its place")
                               : std::string("--replace puts sound ") + std::to_string(from) +
                                     " in its place, --swap exchanges the two"));
  }
  bool changed = false;
  if (swap) {
    changed = doc->SwapSounds(from, to);
  } else {
    changed = copy ? doc->CopySound(from, to) : doc->MoveSound(from, to);
  }
  if (!changed) {
    out << "Nothing changed; " << file << " left as it was.\n";
    return kExitOk;
  }
  const std::string path = doc->GetPathName();
  for (const std::string& target : {path, ExtrasPathFor(path)}) {
    const std::string problem = writeProblem(target);
    if (!problem.empty()) return fileError(err, "edit", target, problem);
  }
  if (const FileOutcome saved = doc->OnSaveDocument(path); !saved.ok()) {
    return fileError(err, "edit", path, saved.message);
  }
  if (swap) {
    out << "Swapped " << soundText(from) << " and " << soundText(to) << ".\n";
  } else {
    out << (copy ? "Copied " : "Moved ") << soundText(from) << " to " << soundText(to) << ".\n";
  }
  return kExitOk;
}

const char* roundRobinText(int32_t mode) { return mode == kRoundRobinRandom ? "random" : "turn"; }

}  // namespace

int runEdit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  long sound = -1, output = 0, layer = -1;
  std::optional<std::string> name;
  std::optional<int32_t> level, gain, chokeGroup, roundRobin, grab;
  std::vector<std::string> added;
  bool clearAlternates = false;
  std::optional<SoundMove> move;
  long moveFrom = -1, moveTo = -1;
  bool replace = false, swap = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kEditHelp;
      return kExitOk;
    }
    const bool takesValue = a == "--sound" || a == "--name" || a == "--level" || a == "--output" || a == "--layer" ||
                            a == "--gain" || a == "--choke-group" || a == "--round-robin" || a == "--add-alternate" ||
                            a == "--grab-threshold";
    if (takesValue && i + 1 >= args.size()) return fail(err, a + " needs a value");
    if (a == "--move-sound" || a == "--copy-sound") {
      if (move) return fail(err, "one --move-sound or --copy-sound at a time");
      if (i + 2 >= args.size()) return fail(err, a + " needs two sounds, A and B");
      if (!parseIntArg(args[i + 1], 0, kSoundCount - 1, moveFrom) ||
          !parseIntArg(args[i + 2], 0, kSoundCount - 1, moveTo)) {
        return fail(err, a + " takes two sounds, 0..127");
      }
      if (moveFrom == moveTo) return fail(err, a + " takes two different sounds");
      move = a == "--move-sound" ? SoundMove::kMove : SoundMove::kCopy;
      i += 2;
    } else if (a == "--replace") {
      replace = true;
    } else if (a == "--swap") {
      swap = true;
    } else if (a == "--sound") {
      if (!parseIntArg(args[++i], 0, kSoundCount - 1, sound)) return fail(err, "--sound takes 0..127");
    } else if (a == "--name") {
      name = args[++i];
      if (name->size() > kMaxSoundNameBytes) return fail(err, "--name takes at most 256 bytes");
      for (std::size_t at = 0; at < name->size();) {
        char32_t c = 0;
        if (!decodeUtf8(*name, at, c)) return fail(err, "--name takes UTF-8 text");
        if (c < 0x20 || (c >= 0x7f && c < 0xa0)) return fail(err, "--name takes no control characters");
      }
    } else if (a == "--level") {
      int32_t v = 0;
      if (!ParseLevelText(args[++i], v)) return fail(err, "--level takes -60..+12 (dB) or off");
      level = v;
    } else if (a == "--output") {
      if (!parseIntArg(args[++i], 1, kOutputPairs, output)) return fail(err, "--output takes 1..8");
    } else if (a == "--layer") {
      if (!parseIntArg(args[++i], 0, kLayerCount - 1, layer)) return fail(err, "--layer takes 0..4");
    } else if (a == "--gain") {
      int32_t v = 0;
      if (!ParseGainText(args[++i], v)) return fail(err, "--gain takes -60..+12 (dB)");
      gain = v;
    } else if (a == "--choke-group") {
      long v = 0;
      if (!parseIntArg(args[++i], kNoChokeGroup, kMaxChokeGroups, v)) return fail(err, "--choke-group takes 0..32 (0: none)");
      chokeGroup = static_cast<int32_t>(v);
    } else if (a == "--round-robin") {
      const std::string& mode = args[++i];
      if (mode != "turn" && mode != "random") return fail(err, "--round-robin takes turn or random");
      roundRobin = mode == "random" ? kRoundRobinRandom : kRoundRobinTurn;
    } else if (a == "--add-alternate") {
      // Bounded here, before any file is looked at: more than a layer can hold is refused anyway.
      if (added.size() == static_cast<std::size_t>(kMaxAlternates)) {
        return fail(err, "a layer takes at most " + std::to_string(kMaxAlternates) + " alternates");
      }
      added.push_back(args[++i]);
    } else if (a == "--clear-alternates") {
      clearAlternates = true;
    } else if (a == "--grab-threshold") {
      long v = 0;
      if (args[++i] == "off") {
        grab = kGrabOff;
      } else if (parseIntArg(args[i], 1, 127, v)) {
        grab = static_cast<int32_t>(v);
      } else {
        return fail(err, "--grab-threshold takes 1..127 or off");
      }
    } else if (!a.starts_with("-") && file.empty()) {
      file = a;
    } else {
      return fail(err, "unexpected argument '" + a + "'");
    }
  }
  if (file.empty()) return fail(err, "no drum set given");
  if (move || replace || swap) {
    if (sound >= 0 || layer >= 0 || name || level || output > 0 || chokeGroup || roundRobin || gain || clearAlternates ||
        !added.empty() || grab) {
      return fail(err, "--move-sound and --copy-sound go alone, with --replace or --swap");
    }
    if (!move) return fail(err, "--replace and --swap go with --move-sound or --copy-sound");
    if (replace && swap) return fail(err, "--replace or --swap, not both");
    if (swap && *move == SoundMove::kCopy) return fail(err, "--swap goes with --move-sound; a copy only replaces");
    return moveSound(file, *move, static_cast<int>(moveFrom), static_cast<int>(moveTo), replace, swap, out, err);
  }
  const bool layerChange = gain || clearAlternates || !added.empty();
  if (layer >= 0 && !layerChange) return fail(err, "--layer L goes with --gain, --clear-alternates or --add-alternate");
  if (layer < 0 && layerChange) return fail(err, "--gain, --clear-alternates and --add-alternate need --layer L");
  const bool soundChange = name || level || output > 0 || chokeGroup || roundRobin || layerChange;
  if (!soundChange && !grab) {
    return fail(err, sound < 0 ? "nothing to change (--sound N with what to change, or --grab-threshold)"
                               : "nothing to change (--name, --level, --output, --choke-group, --round-robin, --layer "
                                 "or --grab-threshold)");
  }
  if (soundChange && sound < 0) return fail(err, "--sound N is needed");

  auto doc = std::make_unique<CKitbeatDoc>();
  if (!openKit(*doc, file, "edit", err)) return kExitError;
  const int n = static_cast<int>(sound);
  const auto j = static_cast<std::size_t>(layer);
  std::vector<std::string> alternates;
  if (layer >= 0) {
    // Every file is judged before anything changes: one that is refused leaves the set as it was.
    if (!clearAlternates) alternates = doc->soundExtras(n).alternates[j];
    if (alternates.size() + added.size() > static_cast<std::size_t>(kMaxAlternates)) {
      return fail(err, "layer " + std::to_string(layer) + " of sound " + std::to_string(sound) + " has " +
                           std::to_string(alternates.size()) + " alternates; it takes at most " +
                           std::to_string(kMaxAlternates) + " (--clear-alternates removes them)");
    }
    for (const std::string& a : added) {
      std::string path;
      if (const std::string problem = alternateProblem(a, path); !problem.empty()) return fileError(err, "edit", a, problem);
      alternates.push_back(std::move(path));
    }
  }

  if (grab) doc->extras().grabThreshold = *grab;
  if (soundChange) {
    SoundExtras& x = doc->soundExtras(n);
    if (name) x.name = *name;
    if (level) x.level = *level;
    if (output > 0) x.output = static_cast<int32_t>(output - 1);
    if (gain) x.layerGain[j] = *gain;
    if (roundRobin) x.roundRobin = *roundRobin;
    // Through the set, which keeps each group's members for the note-on.
    if (chokeGroup) doc->extras().setChokeGroup(n, *chokeGroup);
    if (layer >= 0) x.alternates[j] = std::move(alternates);
  }

  const std::string extrasPath = ExtrasPathFor(doc->GetPathName());
  if (const std::string problem = writeProblem(extrasPath); !problem.empty()) {
    return fileError(err, "edit", extrasPath, problem);
  }
  const FileWrite write = ExtrasFileWrite(doc->GetPathName(), doc->extras());
  if (const FileError error = writeFilesAtomically({write}); error != FileError::None) {
    return fileError(err, "edit", extrasPath, documentErrorText(error, false, extrasPath));
  }
  if (grab) {
    out << "Grab threshold: " << (*grab == kGrabOff ? std::string("off") : std::to_string(*grab)) << '\n';
  }
  if (!soundChange) return kExitOk;
  const SoundExtras& x = doc->soundExtras(n);
  out << "Sound " << sound << " (MIDI note " << sound + kFirstNote << "): name \"" << printable(x.name)
      << "\", level " << LevelText(x.level) << ", output " << x.output + 1 << ", choke group ";
  if (x.chokeGroup == kNoChokeGroup) {
    out << "none";
  } else {
    out << x.chokeGroup.load();
  }
  out << ", round robin " << roundRobinText(x.roundRobin) << ", layer gains";
  for (const RelaxedInt& g : x.layerGain) out << ' ' << LevelText(g);
  out << ", alternates";
  for (const std::vector<std::string>& list : x.alternates) out << ' ' << list.size();
  out << '\n';
  // A layer's gain and alternates belong to the sample it holds; a layer that borrows a louder
  // one's sample plays that sample at that layer's gain.
  const bool alternatesSet = layer >= 0 && !x.alternates[j].empty();
  if ((gain || alternatesSet) && !doc->sound(n).hasOwnSample(static_cast<int>(layer))) {
    out << "Layer " << layer << " holds no sample of its own yet; its "
        << (gain && alternatesSet ? "gain and alternates are" : gain ? "gain is" : "alternates are") << " heard once it does.\n";
  }
  return kExitOk;
}

}  // namespace zumbel
