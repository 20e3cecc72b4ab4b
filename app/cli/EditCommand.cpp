// zumbel edit: changes a sound's extras (name, level, output, a layer's gain) from a script. Only
// the set's extras file is written; the ".drums" file is never touched.

#include <memory>
#include <optional>

#include "CommandArgs.h"
#include "Commands.h"
#include "DrumsFile.h"
#include "ExtrasFile.h"
#include "FileProblems.h"
#include "KitbeatDoc.h"
#include "Printable.h"
#include "TextEncoding.h"

namespace zumbel {

namespace {

const char kEditHelp[] =
    "Usage: zumbel edit KIT.drums --sound N [--name TEXT] [--level DB|off] [--output K]\n"
    "                   [--layer L --gain DB]\n"
    "Changes what the set's extras file (KIT.zumbel beside KIT.drums) holds for one sound; the\n"
    ".drums file itself is left byte for byte as it is.\n"
    "  --sound N     the sound, 0..127, as 'zumbel info' numbers them (MIDI note N + 36)\n"
    "  --name TEXT   its name, shown on its pad and by info (\"\" removes it)\n"
    "  --level DB    its level in dB after the velocity law, -60..+12, or off (silent)\n"
    "  --output K    the stereo output it plays on, 1..8 (1 is the main pair)\n"
    "  --layer L     a velocity layer, 0..4, whose --gain DB (-60..+12) adds to the level\n";

int fail(std::ostream& err, const std::string& message) { return commandError(err, "edit", message); }

}  // namespace

int runEdit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  long sound = -1, output = 0, layer = -1;
  std::optional<std::string> name;
  std::optional<int32_t> level, gain;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kEditHelp;
      return kExitOk;
    }
    const bool takesValue =
        a == "--sound" || a == "--name" || a == "--level" || a == "--output" || a == "--layer" || a == "--gain";
    if (takesValue && i + 1 >= args.size()) return fail(err, a + " needs a value");
    if (a == "--sound") {
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
    } else if (!a.starts_with("-") && file.empty()) {
      file = a;
    } else {
      return fail(err, "unexpected argument '" + a + "'");
    }
  }
  if (file.empty()) return fail(err, "no drum set given");
  if (sound < 0) return fail(err, "--sound N is needed");
  if ((layer >= 0) != gain.has_value()) return fail(err, "--layer L and --gain DB go together");
  if (!name && !level && output == 0 && !gain) return fail(err, "nothing to change (--name, --level, --output or --gain)");

  auto doc = std::make_unique<CKitbeatDoc>();
  if (!openKit(*doc, file, "edit", err)) return kExitError;
  SoundExtras& x = doc->soundExtras(static_cast<int>(sound));
  if (name) x.name = *name;
  if (level) x.level = *level;
  if (output > 0) x.output = static_cast<int32_t>(output - 1);
  if (gain) x.layerGain[static_cast<std::size_t>(layer)] = *gain;

  const std::string extrasPath = ExtrasPathFor(doc->GetPathName());
  if (const std::string problem = writeProblem(extrasPath); !problem.empty()) {
    return fileError(err, "edit", extrasPath, problem);
  }
  const FileWrite write = ExtrasFileWrite(doc->GetPathName(), doc->extras());
  if (const FileError error = writeFilesAtomically({write}); error != FileError::None) {
    return fileError(err, "edit", extrasPath, documentErrorText(error, false, extrasPath));
  }
  out << "Sound " << sound << " (MIDI note " << sound + kFirstNote << "): name \"" << printable(x.name)
      << "\", level " << LevelText(x.level) << ", output " << x.output + 1 << ", layer gains";
  for (const RelaxedInt& g : x.layerGain) out << ' ' << LevelText(g);
  out << '\n';
  // A layer's gain belongs to the sample it holds; a layer that borrows a louder one's sample
  // plays that sample at that layer's gain.
  if (gain && !doc->sound(static_cast<int>(sound)).hasOwnSample(static_cast<int>(layer))) {
    out << "Layer " << layer << " holds no sample of its own yet; its gain is heard once it does.\n";
  }
  return kExitOk;
}

}  // namespace zumbel
