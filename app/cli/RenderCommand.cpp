// zumbel render: a MIDI song played through a drum set, written to a WAV file.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "CommandArgs.h"
#include "Commands.h"
#include "DrumEngine.h"
#include "FileProblems.h"
#include "HeadlessKit.h"
#include "KitReport.h"
#include "MidiFile.h"
#include "OfflineRenderer.h"
#include "SampleProbe.h"
#include "StopSignals.h"
#include "WavFileWriter.h"
#include "WavWriteBehind.h"

namespace zumbel {

namespace {

const char kRenderHelp[] =
    "Usage: zumbel render KIT.drums SONG.mid -o OUT.wav [--channel N] [--rate R]\n"
    "                     [--format s16|s24|f32] [--tail SECONDS] [--stems DIR]\n"
    "Plays a MIDI file (format 0 or 1) through a drum set and writes the sound to a WAV file,\n"
    "every note at its exact sample frame; the same inputs always give the same file.\n"
    "  --channel N   MIDI channel the set listens to, 1..16 (default 1)\n"
    "  --rate R      output sample rate in Hz, 8000..192000 (default 44100)\n"
    "  --format F    s16, s24 or f32 (default s16)\n"
    "  --tail S      seconds to render after the song ends (default: until silent, at most 10)\n"
    "  --stems DIR   also write each output the set's sounds play on to DIR/out-K.wav (K = 1..8),\n"
    "                each as long as OUT.wav; together they add up to it\n"
    "Samples that cannot be found or read are reported and stay silent (exit status 1); a song\n"
    "that is damaged (rendered as far as it can be read) or has no notes is exit status 1 too.\n";

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
constexpr double kMaxTailSeconds = 600.0;

int fail(std::ostream& err, const std::string& message) { return commandError(err, "render", message); }

// Whether `stream` is the program's stdout or stderr and that goes to a terminal.
bool isTerminal(const std::ostream& stream) {
  if (&stream == &std::cout) return ::isatty(STDOUT_FILENO) == 1;
  if (&stream == &std::cerr || &stream == &std::clog) return ::isatty(STDERR_FILENO) == 1;
  return false;
}

// "1:02:03" for a number of frames at `rate`.
std::string duration(int64_t frames, long rate) {
  const int64_t seconds = frames / rate;
  std::ostringstream s;
  s << seconds / 3600 << ':' << std::setfill('0') << std::setw(2) << seconds / 60 % 60 << ':' << std::setw(2)
    << seconds % 60;
  return s.str();
}

// Shows how far a long render has come, once it has taken more than a second, and only on a
// terminal: in a log or a pipe the carriage returns would only be clutter.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool shown) : err_(err), enabled_(shown), start_(std::chrono::steady_clock::now()) {}
  ~ProgressLine() { finish(); }
  // Ends the line, so what follows starts on a line of its own.
  void finish() {
    if (shown_) err_ << std::endl;
    shown_ = false;
  }
  void operator()(double fraction) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || (shown_ && now - last_ < std::chrono::milliseconds(250) && fraction < 1.0)) return;
    last_ = now;
    shown_ = true;
    err_ << "\rzumbel: rendering " << std::setw(3) << static_cast<int>(fraction * 100) << '%' << std::flush;
  }

 private:
  std::ostream& err_;
  bool enabled_;
  std::chrono::steady_clock::time_point start_, last_;
  bool shown_ = false;
};

// The output pairs the set's sounds play on (those with a voice), one bit each.
uint32_t outputsInUse(const CKitbeatDoc& doc, DrumEngine& engine) {
  uint32_t pairs = 0;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (engine.voices().voice(n, j) != nullptr) pairs |= 1u << doc.soundExtras(n).output;
    }
  }
  return pairs;
}

std::string stemPath(const std::string& folder, int pair) {
  return folder + (folder.ends_with('/') ? "" : "/") + "out-" + std::to_string(pair + 1) + ".wav";
}

// The stems' folder, made when it is not there yet; empty when it can be written into.
std::string stemFolderProblem(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return std::strerror(errno);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return {};
}

}  // namespace

int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string kit, songPath, output, stems;
  long channel = 1, rate = kOutputRate;
  SampleFormat format = SampleFormat::kS16;
  std::string formatName = "s16";
  double tail = -1.0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kRenderHelp;
      return kExitOk;
    }
    const bool takesValue =
        a == "-o" || a == "--channel" || a == "--rate" || a == "--format" || a == "--tail" || a == "--stems";
    if (takesValue && i + 1 >= args.size()) return fail(err, a + " needs a value");
    if (a == "-o") {
      output = args[++i];
    } else if (a == "--stems") {
      stems = args[++i];
      if (stems.empty()) return fail(err, "--stems needs a folder");
    } else if (a == "--channel") {
      if (!parseIntArg(args[++i], 1, 16, channel)) return fail(err, "--channel takes 1..16");
    } else if (a == "--rate") {
      if (!parseIntArg(args[++i], kMinRate, kMaxRate, rate)) return fail(err, "--rate takes 8000..192000");
    } else if (a == "--format") {
      formatName = args[++i];
      if (formatName == "s16") format = SampleFormat::kS16;
      else if (formatName == "s24") format = SampleFormat::kS24;
      else if (formatName == "f32") format = SampleFormat::kF32;
      else return fail(err, "--format takes s16, s24 or f32");
    } else if (a == "--tail") {
      char* end = nullptr;
      tail = std::strtod(args[++i].c_str(), &end);
      if (end == args[i].c_str() || *end != '\0' || !(tail >= 0 && tail <= kMaxTailSeconds)) {
        return fail(err, "--tail takes 0..600 seconds");
      }
    } else if (!a.starts_with("-") && kit.empty()) {
      kit = a;
    } else if (!a.starts_with("-") && songPath.empty()) {
      songPath = a;
    } else {
      return fail(err, "unexpected argument '" + a + "'");
    }
  }
  if (kit.empty() || songPath.empty()) return fail(err, "a drum set and a MIDI file are needed");
  if (output.empty()) return fail(err, "no output file (-o OUT.wav)");

  // Said before any work, and by file identity: an output that is one of the inputs would be
  // replaced by the render, however its name is spelt.
  for (const auto& [input, what] : {std::pair{kit, "the drum set"}, std::pair{songPath, "the song"}}) {
    if (sameFile(output, input)) {
      return fileError(err, "render", output, std::string("is ") + what + "; choose another output");
    }
  }
  if (const std::string problem = writeProblem(output); !problem.empty()) {
    return fileError(err, "render", output, problem);
  }

  const MidiFileResult midi = loadMidiFile(songPath);
  if (!midi.ok()) {
    const std::string problem = midi.error == MidiFileError::kCannotOpen ? readProblem(songPath) : "";
    return fileError(err, "render", songPath, problem.empty() ? midiFileErrorText(midi.error) : problem);
  }
  for (const std::string& w : midi.song.warnings) err << "zumbel: render: " << printable(songPath) << ": " << w << '\n';
  const int64_t songFrames = songFrameCount(midi.song, static_cast<int>(rate));
  const int64_t fixedTail = tail >= 0 ? static_cast<int64_t>(std::llround(tail * static_cast<double>(rate))) : 0;
  if (songFrames > WavFileWriter::maxFrames(format) - fixedTail) {
    return fileError(err, "render", songPath,
                     "the song lasts " + duration(songFrames, rate) + ", longer than a WAV file holds (" +
                         duration(WavFileWriter::maxFrames(format) - fixedTail, rate) + " at " + std::to_string(rate) +
                         " Hz in " + formatName + (fixedTail > 0 ? " with the tail" : "") + ")");
  }

  auto doc = std::make_unique<CKitbeatDoc>();
  if (!openKit(*doc, kit, "render", err)) return kExitError;
  auto engine = std::make_unique<DrumEngine>(*doc, static_cast<int>(rate));
  StreamPrompts prompts(err);
  const HeadlessLoad load = loadVoicesHeadless(*doc, *engine, prompts, err);
  for (int g = 0; g < doc->groupCount(); ++g) {
    for (const std::string_view sample : doc->groupList(g)) {
      // Where the sample is read from: a stored path may be relative to the set's folder.
      const std::optional<std::string> file = FindSampleBesideSet(std::string(sample), doc->folder());
      if (file && sameFile(output, *file)) {
        return fileError(err, "render", output, "is a sample of the drum set; choose another output");
      }
    }
  }

  // One writer per output the sounds play on; they are checked like the output before any work.
  const uint32_t inUse = stems.empty() ? 0 : outputsInUse(*doc, *engine);
  std::vector<std::pair<int, std::string>> stemFiles;
  if (!stems.empty()) {
    if (const std::string problem = stemFolderProblem(stems); !problem.empty()) {
      return fileError(err, "render", stems, problem);
    }
    for (int k = 0; k < kOutputPairs; ++k) {
      if ((inUse & (1u << k)) == 0) continue;
      const std::string path = stemPath(stems, k);
      if (sameFile(path, output) || sameFile(path, kit) || sameFile(path, songPath)) {
        return fileError(err, "render", path, "is another file of this render; choose another stems folder");
      }
      // Stems are files of their own: a link or a device under a stem's name is not written through.
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return fileError(err, "render", path, "is not a regular file; choose another stems folder");
      }
      if (const std::string problem = writeProblem(path); !problem.empty()) return fileError(err, "render", path, problem);
      stemFiles.emplace_back(k, path);
    }
  }
  // From here an interrupt stops the render, and the unfinished file is removed.
  const StopSignals signals;
  WavFileWriter writer;
  if (!writer.open(output, static_cast<int>(rate), format)) {
    const int error = writer.errorNumber();
    return fileError(err, "render", output, error != 0 ? std::strerror(error) : "cannot be created");
  }
  ProgressLine progress(err, isTerminal(err));
  RenderOptions options;
  options.channel = static_cast<int>(channel);
  options.tailSeconds = tail;
  WavWriteBehind behind(writer);
  options.sink = [&](const float* l, const float* r, int frames) {
    return !signals.requested() && behind.write(l, r, frames);
  };
  options.place = [&](int frames) { return behind.room(frames); };
  options.progress = [&](double fraction) { progress(fraction); };
  std::vector<std::unique_ptr<WavFileWriter>> stemWriters;
  for (const auto& [pair, path] : stemFiles) {
    auto& w = stemWriters.emplace_back(std::make_unique<WavFileWriter>());
    if (!w->open(path, static_cast<int>(rate), format)) {
      const int error = w->errorNumber();
      return fileError(err, "render", path, error != 0 ? std::strerror(error) : "cannot be created");
    }
  }
  std::vector<float> mixLeft(kRenderSongBlockFrames), mixRight(kRenderSongBlockFrames);
  if (!stems.empty()) {
    // Every pair rendered apart and the mix made as their sum, so the stems add up to it (exactly
    // in f32; within the rounding of the sample format otherwise).
    options.outputPairs = kOutputPairs;
    options.pairSink = [&](const OutputPairs& pairs, int frames) {
      std::fill_n(mixLeft.data(), frames, 0.0f);
      std::fill_n(mixRight.data(), frames, 0.0f);
      for (int k = 0; k < pairs.count; ++k) {
        for (int f = 0; f < frames; ++f) {
          mixLeft[static_cast<std::size_t>(f)] += pairs.left[static_cast<std::size_t>(k)][f];
          mixRight[static_cast<std::size_t>(f)] += pairs.right[static_cast<std::size_t>(k)][f];
        }
      }
      for (std::size_t s = 0; s < stemFiles.size(); ++s) {
        const auto k = static_cast<std::size_t>(stemFiles[s].first);
        if (!stemWriters[s]->write(pairs.left[k], pairs.right[k], frames)) return false;
      }
      return options.sink(mixLeft.data(), mixRight.data(), frames);
    };
  }
  const RenderSummary summary = renderSong(*engine, midi.song, options);
  const bool written = behind.finish();
  progress.finish();
  if (summary.stopped && signals.requested()) {
    writer.abandon();
    for (auto& w : stemWriters) w->abandon();
    err << "zumbel: render: interrupted; " << printable(output) << " was not written\n";
    return kExitError;
  }
  // A stem that could not be written stops the render too: that one is named, not the mix.
  for (std::size_t s = 0; s < stemWriters.size(); ++s) {
    if (stemWriters[s]->errorNumber() == 0 && stemWriters[s]->close()) continue;
    const int error = stemWriters[s]->errorNumber();
    stemWriters[s]->abandon();
    writer.abandon();
    return fileError(err, "render", stemFiles[s].second,
                     std::string("writing failed: ") + (error != 0 ? std::strerror(error) : "unknown error"));
  }
  if (!written || !writer.close() || summary.stopped) {
    const int error = writer.errorNumber();
    return fileError(err, "render", output,
                     std::string("writing failed: ") + (error != 0 ? std::strerror(error) : "unknown error"));
  }

  // A damaged song still renders what could be read of it, but the result may not be what was meant.
  bool finding = load.missing > 0 || load.unreadable > 0 || !midi.song.warnings.empty();
  if (!midi.song.warnings.empty()) {
    err << "zumbel: render: " << printable(songPath) << " is damaged; " << printable(output)
        << " holds what could be read of it\n";
  }
  int64_t noteOns = 0;
  for (const int64_t n : summary.noteOnsPerChannel) noteOns += n;
  if (noteOns == 0) {
    err << "zumbel: render: " << printable(songPath) << " has no notes at all; " << printable(output)
        << " holds only silence\n";
    finding = true;
  } else if (summary.noteOnsPerChannel[static_cast<std::size_t>(channel - 1)] == 0) {
    std::ostringstream used;
    for (int c = 0; c < kMidiChannels; ++c) {
      if (summary.noteOnsPerChannel[static_cast<std::size_t>(c)] > 0) used << (used.tellp() > 0 ? ", " : "") << c + 1;
    }
    if (used.tellp() > 0) {
      err << "zumbel: render: the song has no notes on channel " << channel << "; it uses channel"
          << (used.str().find(',') != std::string::npos ? "s " : " ") << used.str() << " (see --channel)\n";
      finding = true;
    }
  }
  out << "Rendered " << std::fixed << std::setprecision(2) << static_cast<double>(summary.frames) / static_cast<double>(rate)
      << " s (" << summary.frames << " frames, " << rate << " Hz, " << formatName << ", " << load.voices
      << (load.voices == 1 ? " sample loaded" : " samples loaded") << ") to " << printable(output) << '\n';
  for (const auto& [pair, path] : stemFiles) out << "Output " << pair + 1 << " to " << printable(path) << '\n';
  return finding ? kExitFinding : kExitOk;
}

}  // namespace zumbel
