#include "Commands.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include <sys/stat.h>

#include "CommandArgs.h"
#include "DrumsFile.h"
#include "ExtrasFile.h"
#include "FileNames.h"
#include "FileProblems.h"
#include "KitReport.h"
#include "PoolPaths.h"
#include "SampleFinder.h"
#include "SampleListFile.h"
#include "SampleProbe.h"
#include "ZumbelVersion.h"

namespace zumbel {

namespace {

bool isHelp(const std::string& a) { return a == "--help" || a == "-h"; }
bool isVersion(const std::string& a) { return a == "--version" || a == "-V"; }

bool endsWithNoCase(const std::string& s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = s[s.size() - suffix.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != suffix[i]) return false;
  }
  return true;
}

int usageError(std::ostream& err, const std::string& message) {
  err << "zumbel: " << message << "\nTry 'zumbel --help'.\n";
  return kExitError;
}

// The tools look where a moved set's samples are expected: at the stored path, or beside the set.
bool sampleFound(const CKitbeatDoc& doc, std::string_view stored) {
  return FindSampleBesideSet(std::string(stored), doc.folder()).has_value();
}

const char kInfoHelp[] =
    "Usage: zumbel info FILE [--json]\n"
    "Describes a drum set (.drums) or a sample list (.slist): its groups and samples, the\n"
    "velocity layer schemes and every sound in use. --json prints every stored value.\n";

const char kCheckHelp[] =
    "Usage: zumbel check KIT.drums\n"
    "Lists every sample whose file is found neither at its stored path nor beside the set, and\n"
    "every one whose file is there but cannot be read (a folder, no read permission), the same\n"
    "for every layer's alternate samples, and what of the set's extras file (KIT.zumbel: names,\n"
    "levels, outputs, alternates) cannot be used.\n"
    "Exit status 1 when any is missing or unreadable or extras are ignored, 0 when all is well.\n";

const char kRelinkHelp[] =
    "Usage: zumbel relink KIT.drums [--search DIR]... [-o OUT.drums]\n"
    "Looks for every missing sample by file name under the given folders (recursively; an exact\n"
    "name first, then one that differs only in case) and stores the path it finds. Samples it\n"
    "cannot find are kept as they are. Saves to OUT.drums, or in place when anything changed.\n"
    "In an OUT.drums in another folder, samples found beside the set are stored by their full\n"
    "path, so the copy still finds them. The set's extras file (KIT.zumbel) goes with it.\n"
    "Exit status 1 when samples are still missing.\n";

}  // namespace

void printUsage(std::ostream& out) {
  out << "Usage: zumbel [FILE.drums]\n"
         "   or: zumbel info FILE [--json]\n"
         "   or: zumbel check KIT.drums\n"
         "   or: zumbel relink KIT.drums [--search DIR]... [-o OUT.drums]\n"
         "   or: zumbel edit KIT.drums --sound N [--name TEXT] [--level DB|off] [--output K]\n"
         "                   [--choke-group G] [--round-robin turn|random]\n"
         "                   [--layer L [--gain DB] [--clear-alternates] [--add-alternate FILE]...]\n"
         "                   [--grab-threshold V|off]\n"
         "   or: zumbel edit KIT.drums --move-sound A B [--replace|--swap]\n"
         "   or: zumbel edit KIT.drums --copy-sound A B [--replace]\n"
         "   or: zumbel render KIT.drums SONG.mid -o OUT.wav [options]\n"
         "   or: zumbel play KIT.drums [options]\n"
         "   or: zumbel devices\n"
         "   or: zumbel import-kit SOURCE -o OUT.drums [--notes kit|gm]\n"
         "   or: zumbel COMMAND --help\n"
         "   or: zumbel --version\n"
         "\n"
         "Zumbel is a drum sampler: MIDI notes play the WAV samples of a drum set.\n"
         "Without a command it opens its window, on FILE.drums when one is given: a keyboard of\n"
         "pads to build the set on, played from MIDI while it is edited; F1 there opens the manual.\n"
         "  info        describe a drum set (.drums) or a sample list (.slist)\n"
         "  check       list the samples of a drum set whose files are missing\n"
         "  relink      find moved samples under the given folders and store their new paths\n"
         "  edit        name a sound, set its level, output, choke group and round robin, a\n"
         "              layer's gain and alternate samples, or the set's grab threshold; move,\n"
         "              copy or swap whole sounds\n"
         "  render      play a MIDI file through a drum set into a WAV file\n"
         "  play        play a drum set live from MIDI (JACK, PulseAudio or ALSA) until interrupted\n"
         "  devices     list the audio outputs and MIDI inputs play can use\n"
         "  import-kit  make a drum set of a Hydrogen kit (folder or .h2drumkit archive)\n"
         "Exit status: 0 success, 1 a finding (such as missing samples), 2 an error.\n";
}

void printVersion(std::ostream& out) { out << "zumbel " << kVersion << "\n"; }

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || isHelp(args[0])) {
    printUsage(out);
    return kExitOk;
  }
  if (isVersion(args[0])) {
    printVersion(out);
    return kExitOk;
  }
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "info") return runInfo(rest, out, err);
  if (command == "check") return runCheck(rest, out, err);
  if (command == "relink") return runRelink(rest, out, err);
  if (command == "render") return runRender(rest, out, err);
  if (command == "edit") return runEdit(rest, out, err);
  if (command == "play") return runPlay(rest, out, err);
  if (command == "devices") return runDevices(rest, out, err);
  if (command == "import-kit") return runImportKit(rest, out, err);
  if (endsWithNoCase(command, ".drums")) {
    return usageError(err, "a drum set opens in the window ('zumbel " + command + "' alone); 'zumbel info " + command +
                               "' describes it here");
  }
  return usageError(err, "unknown command '" + command + "'");
}

int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  bool json = false;
  for (const std::string& a : args) {
    if (isHelp(a)) {
      out << kInfoHelp;
      return kExitOk;
    }
    if (a == "--json") {
      json = true;
    } else if (file.empty() && !a.starts_with("--")) {
      file = a;
    } else {
      return usageError(err, "info: unexpected argument '" + a + "'");
    }
  }
  if (file.empty()) return usageError(err, "info: no file given");

  if (endsWithNoCase(file, ".slist")) {
    StringList entries;
    const SampleListResult r = LoadSampleList(file, entries);
    if (!r.ok()) {
      const std::string problem = readProblem(file);
      return fileError(err, "info", file, problem.empty() ? "not a sample list (" + r.message + ")" : problem);
    }
    json ? writeSampleListJson(out, entries) : writeSampleListSummary(out, entries);
    return kExitOk;
  }
  auto doc = std::make_unique<CKitbeatDoc>();
  if (!openKit(*doc, file, "info", err)) return kExitError;
  json ? writeKitJson(out, doc->content(), doc->extras()) : writeKitSummary(out, *doc);
  return kExitOk;
}

int runCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  for (const std::string& a : args) {
    if (isHelp(a)) {
      out << kCheckHelp;
      return kExitOk;
    }
    if (!file.empty() || a.starts_with("--")) return usageError(err, "check: unexpected argument '" + a + "'");
    file = a;
  }
  if (file.empty()) return usageError(err, "check: no file given");

  auto doc = std::make_unique<CKitbeatDoc>();
  std::vector<std::string> ignored;
  if (!openKit(*doc, file, "check", err, &ignored)) return kExitError;
  for (const std::string& line : ignored) out << "extras: " << printable(line) << '\n';
  int missing = 0, unreadable = 0;
  for (int g = 0; g < doc->groupCount(); ++g) {
    for (int e = 0; e < doc->groupSize(g); ++e) {
      const std::string stored(doc->groupList(g)[static_cast<std::size_t>(e)]);
      if (sampleFound(*doc, stored)) continue;
      // A file that is there but cannot be read wants other help than one that is gone.
      const std::string problem = unreadableSample(stored, doc->folder());
      out << (problem.empty() ? "missing: " : "unreadable: ");
      writePoolEntry(out, *doc, g, e);
      if (!problem.empty()) out << " (" << printable(problem) << ')';
      out << '\n';
      ++(problem.empty() ? missing : unreadable);
    }
  }
  // Alternates are looked for as the layer's own sample is, so what check finds is what plays.
  int missingTakes = 0, unreadableTakes = 0;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SoundExtras& x = doc->soundExtras(n);
      const std::vector<std::string>& alternates = x.alternates[static_cast<std::size_t>(j)];
      for (std::size_t k = 0; k < alternates.size(); ++k) {
        if (sampleFound(*doc, alternates[k])) continue;
        const std::string problem = unreadableSample(alternates[k], doc->folder());
        out << (problem.empty() ? "missing: " : "unreadable: ") << "sound " << n;
        if (!x.name.empty()) out << " \"" << printable(x.name) << '"';
        out << " (MIDI note " << n + kFirstNote << "), layer " << j << ", alternate " << k + 1 << ": "
            << printable(alternates[k]);
        if (!problem.empty()) out << " (" << printable(problem) << ')';
        out << '\n';
        ++(problem.empty() ? missingTakes : unreadableTakes);
      }
    }
  }
  if (missing + unreadable + missingTakes + unreadableTakes == 0) {
    out << "All samples found.\n";
    return ignored.empty() ? kExitOk : kExitFinding;
  }
  const auto tally = [&out](int count, const char* one, const char* many) {
    if (count > 0) out << count << (count == 1 ? one : many);
  };
  tally(missing, " sample is missing.\n", " samples are missing.\n");
  tally(unreadable, " sample cannot be read.\n", " samples cannot be read.\n");
  tally(missingTakes, " alternate is missing.\n", " alternates are missing.\n");
  tally(unreadableTakes, " alternate cannot be read.\n", " alternates cannot be read.\n");
  return kExitFinding;
}

int runRelink(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file, output;
  std::vector<std::string> folders;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (isHelp(a)) {
      out << kRelinkHelp;
      return kExitOk;
    }
    if (a == "--search" || a == "-o") {
      if (i + 1 >= args.size()) return usageError(err, "relink: " + a + " needs a value");
      (a == "-o" ? output : folders.emplace_back()) = args[++i];
    } else if (file.empty() && !a.starts_with("-")) {
      file = a;
    } else {
      return usageError(err, "relink: unexpected argument '" + a + "'");
    }
  }
  if (file.empty()) return usageError(err, "relink: no file given");
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) continue;
    const std::string problem = readProblem(folder);
    err << "zumbel: relink: " << printable(folder) << ": " << (problem.empty() ? std::strerror(ENOTDIR) : problem)
        << "; not searched\n";
  }

  auto doc = std::make_unique<CKitbeatDoc>();
  if (!openKit(*doc, file, "relink", err)) return kExitError;
  // Said before any searching, rather than after a long list of paths that then cannot be saved.
  // A set relinked in place is only written when something changed, so a read-only one with
  // nothing to change is still fine; a failed save names the file and the reason.
  const std::string target = output.empty() ? file : output;
  if (const std::string problem = output.empty() ? "" : writeProblem(output); !problem.empty()) {
    return fileError(err, "relink", output, problem);
  }

  std::unique_ptr<SampleFinder> finder;  // walked only once something is missing
  int changed = 0, missing = 0;
  for (int g = 0; g < doc->groupCount(); ++g) {
    std::vector<std::pair<int, std::string>> moved;
    for (int e = 0; e < doc->groupSize(g); ++e) {
      const std::string_view stored = doc->groupList(g)[static_cast<std::size_t>(e)];
      if (sampleFound(*doc, stored)) continue;
      if (!finder) finder = std::make_unique<SampleFinder>(folders);
      auto found = finder->find(FileNamePart(stored));
      if (found && *found != stored) {
        out << "relinked: ";
        writePoolEntry(out, *doc, g, e);
        out << " -> " << printable(*found) << '\n';
        moved.emplace_back(e, std::move(*found));
      } else {
        out << "still missing: ";
        writePoolEntry(out, *doc, g, e);
        out << '\n';
        ++missing;
      }
    }
    changed += static_cast<int>(moved.size());
    doc->replaceSamplePaths(g, moved);
  }
  // A copy in another folder would no longer find what lies beside the set: full paths for those.
  const std::vector<PoolPathChange> rebased =
      PathsForNewFolder(doc->content(), doc->folder(), LocalFolderPart(AbsolutePath(target)));
  for (const PoolPathChange& c : rebased) {
    out << "full path: ";
    writePoolEntry(out, *doc, c.group, c.entry);
    out << " -> " << printable(c.path) << '\n';
  }
  ApplyPathChanges(*doc, rebased);
  changed += static_cast<int>(rebased.size());

  if (changed > 0) {
    const FileOutcome saved = doc->OnSaveDocument(target);
    if (!saved.ok()) {
      const std::string problem = writeProblem(target);
      return fileError(err, "relink", target, problem.empty() ? saved.message : problem);
    }
    out << "Saved " << target << " (" << changed << (changed == 1 ? " path" : " paths") << " changed).\n";
  } else if (!output.empty()) {
    // Nothing to change: the copy is the file itself, byte for byte, whatever form it was in, and
    // so are its extras; a stale extras file at the target would otherwise dress the copy. Only
    // an extras file of the set's own is copied bytewise: a link in its place could lead to any
    // file, whose bytes must not land in a new one, so the extras as read are written instead.
    std::vector<FileWrite> files{{target, {}, false, true}, ExtrasFileWrite(target, doc->extras())};
    FileError error = readWholeFile(file, files[0].bytes);
    struct stat st {};
    const std::string extras = ExtrasPathFor(file);
    if (::lstat(extras.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        readWholeFile(extras, files[1].bytes) == FileError::None) {
      files[1].remove = false;
    }
    if (error == FileError::None) error = writeFilesAtomically(files);
    if (error != FileError::None) {
      const std::string problem = writeProblem(target);
      return fileError(err, "relink", target, problem.empty() ? documentErrorText(error, false, target) : problem);
    }
    out << "Nothing changed; copied " << file << " to " << target << ".\n";
  } else {
    out << "Nothing changed; " << file << " left as it was.\n";
  }
  if (missing > 0) {
    out << missing << (missing == 1 ? " sample is still missing.\n" : " samples are still missing.\n");
    return kExitFinding;
  }
  return kExitOk;
}

}  // namespace zumbel
