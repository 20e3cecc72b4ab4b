// zumbel import-kit: a Hydrogen kit (folder or .h2drumkit archive) made into a drum set.

#include <filesystem>
#include <memory>

#include <sys/stat.h>

#include "CommandArgs.h"
#include "DrumsFile.h"
#include "Commands.h"
#include "ExtrasFile.h"
#include "FileNames.h"
#include "FileProblems.h"
#include "KitArchive.h"
#include "KitImport.h"
#include "KitReport.h"

namespace zumbel {

namespace {

const char kImportHelp[] =
    "Usage: zumbel import-kit SOURCE -o OUT.drums [--notes gm|kit]\n"
    "Makes a drum set of a Hydrogen drum kit. SOURCE is the kit's folder (with its drumkit.xml),\n"
    "the drumkit.xml itself, or a .h2drumkit archive, which is unpacked beside OUT.drums into a\n"
    "folder named after the kit. Each instrument becomes a sound, its velocity layers the sound's\n"
    "layers; its name and level (volume and gain), its layers' gains, its mute group (as a choke\n"
    "group) and the layers the kit plays in turn or at random (as alternates of one layer) are\n"
    "kept in OUT.zumbel beside the set. What went where, and what a drum set cannot hold, is\n"
    "printed.\n"
    "  --notes kit   each instrument on the note Hydrogen plays it on (the default)\n"
    "  --notes gm    each on the General MIDI drum note its name says (kick 36, snare 38, closed\n"
    "                hat 42, crash 49, a second crash 57; toms spread over 41..50); the others\n"
    "                keep the kit's order, each on the next free note\n"
    "An archive with absolute paths, \"..\", devices, too many entries or bytes, or a link leading\n"
    "anywhere but to a file inside the kit is refused, and nothing is written; a link to a file\n"
    "inside the kit is unpacked as a copy of it. When the import fails, the unpacked folder is\n"
    "removed again.\n"
    "Exit status 1 when sample files are missing (the set is still written), 2 on errors.\n";

int fail(std::ostream& err, const std::string& message) { return commandError(err, "import-kit", message); }

}  // namespace

int runImportKit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string source, output;
  import::ImportOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kImportHelp;
      return kExitOk;
    }
    if (a == "-o") {
      if (i + 1 >= args.size()) return fail(err, "-o needs a value");
      output = args[++i];
    } else if (a == "--notes") {
      if (i + 1 >= args.size()) return fail(err, "--notes needs a value (gm or kit)");
      const std::string& notes = args[++i];
      if (notes == "gm") {
        options.notes = import::NotePlacement::kGeneralMidi;
      } else if (notes == "kit") {
        options.notes = import::NotePlacement::kKitOrder;
      } else {
        return fail(err, "--notes takes gm or kit, not '" + notes + "'");
      }
    } else if (source.empty() && !a.starts_with("-")) {
      source = a;
    } else {
      return fail(err, "unexpected argument '" + a + "'");
    }
  }
  if (source.empty()) return fail(err, "no kit given");
  if (output.empty()) return fail(err, "no output set given (-o OUT.drums)");
  // Said before an archive is unpacked, rather than after.
  if (const std::string problem = writeProblem(output); !problem.empty()) return fileError(err, "import-kit", output, problem);

  namespace fs = std::filesystem;
  std::string folder, unpackedFolder;
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0) {
    const std::string problem = readProblem(source);
    return fileError(err, "import-kit", source, problem.empty() ? "cannot be read" : problem);
  }
  if (S_ISDIR(st.st_mode)) {
    folder = source;
  } else if (fs::path(source).filename() == "drumkit.xml") {
    const fs::path parent = fs::path(source).parent_path();
    folder = parent.empty() ? fs::path(".").string() : parent.string();
  } else {
    if (const std::string problem = readProblem(source); !problem.empty()) return fileError(err, "import-kit", source, problem);
    const import::UnpackResult unpacked = import::unpackKitArchive(source, LocalFolderPart(output));
    if (!unpacked.ok) {
      err << "zumbel: import-kit: " << printable(unpacked.error) << '\n';
      return kExitError;
    }
    out << "Unpacked into " << printable(unpacked.folder) << "\n";
    folder = unpackedFolder = unpacked.folder;
  }
  // Nothing imported: the folder unpacked for it goes too, so a second try finds the name free.
  auto failed = [&](int status) {
    if (!unpackedFolder.empty()) {
      import::removeUnpackedKit(unpackedFolder);
      out << "Removed " << printable(unpackedFolder) << " again.\n";
    }
    return status;
  };

  auto doc = std::make_unique<CKitbeatDoc>();
  doc->OnNewDocument();
  const import::ImportResult result = import::importHydrogenFolder(folder, *doc, options);
  if (!result.ok) {
    err << "zumbel: import-kit: " << printable(result.error) << '\n';
    return failed(kExitError);
  }
  for (const std::string& line : result.report) out << printable(line) << '\n';
  const FileOutcome saved = doc->OnSaveDocument(output);
  if (!saved.ok()) {
    const std::string problem = writeProblem(output);
    return failed(fileError(err, "import-kit", output, problem.empty() ? saved.message : problem));
  }
  out << "Saved " << printable(output);
  if (ExtrasNeedFile(doc->extras())) out << " and " << printable(ExtrasPathFor(output));
  out << ".\n";
  return result.missingSamples > 0 ? kExitFinding : kExitOk;
}

}  // namespace zumbel
