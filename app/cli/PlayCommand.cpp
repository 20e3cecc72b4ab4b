// zumbel play: the instrument without a window. The set is opened, the audio output and the MIDI
// input too, and the program plays until it is interrupted, or until a song given to play in has
// ended. SIGHUP opens the set again as the window's Open does.

#include <chrono>
#include <cstdio>
#include <iomanip>
#include <optional>
#include <sstream>
#include <thread>

#include "AudioSystem.h"
#include "CommandArgs.h"
#include "Commands.h"
#include "DrumEngine.h"
#include "EngineTally.h"
#include "FileProblems.h"
#include "HeadlessKit.h"
#include "KitReport.h"
#include "LayerVoiceLoader.h"
#include "LiveSetup.h"
#include "MidiFile.h"
#include "MidiInputPort.h"
#include "ReloadSignal.h"
#include "SetSession.h"
#include "SongInput.h"
#include "StopSignals.h"

namespace zumbel {

namespace {

const char kPlayHelp[] =
    "Usage: zumbel play KIT.drums [--audio N|NAME] [--midi N|NAME] [--channel N] [--period FRAMES]\n"
    "                             [--outputs PAIRS] [--song SONG.mid]\n"
    "Plays a drum set live: MIDI notes arriving on the MIDI input sound through the audio output,\n"
    "until Ctrl+C (SIGINT) or SIGTERM. SIGHUP (kill -HUP PID) reads the set file again and rebuilds\n"
    "the voices, as the window's File > Open does, while the output and the MIDI input stay open;\n"
    "a set that no longer opens is reported and the one playing is kept.\n"
    "  --audio N|NAME   audio output by number or name (default 0, the system default: JACK when\n"
    "                   a server runs, otherwise PulseAudio, otherwise ALSA)\n"
    "  --midi N|NAME    MIDI input by number or name (default 0, Zumbel's own input port, which\n"
    "                   other programs and devices connect to)\n"
    "  --channel N      MIDI channel the set listens to, 1..16 (default 1)\n"
    "  --period FRAMES  frames per period for ALSA and PulseAudio, 16..8192 (default 256);\n"
    "                   a JACK server sets its own\n"
    "  --outputs PAIRS  stereo output pairs of the JACK client, 1..8 (default 1): out_left and\n"
    "                   out_right, then out2_left, out2_right, out3_left and so on. A sound the set\n"
    "                   routes to output 2..8 plays on that pair when there is one, otherwise on\n"
    "                   the first; only the first is connected. PulseAudio and ALSA play every\n"
    "                   sound on their one pair\n"
    "  --song SONG.mid  also plays a standard MIDI file in live, as if it came in on the MIDI\n"
    "                   input, once the kit is loaded and the output has played for 0.25 s;\n"
    "                   play then ends by itself 2 s after the song's end\n"
    "'zumbel devices' lists the numbers and names.\n";

static_assert(kMixerOutputPairs == 8, "the help gives --outputs as 1..8");

// After a song played in, so its last sounds ring out.
constexpr auto kSongTail = std::chrono::seconds(2);

// How often the waiting main thread looks at the xrun counter and for a signal.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

int fail(std::ostream& err, const std::string& message) { return commandError(err, "play", message); }

struct PlayOptions {
  std::string kit;
  std::string audio;
  std::string midi;
  std::string song;
  int channel = 1;
  int period = kDefaultPeriodFrames;
  int outputs = kDefaultJackOutputPairs;
};

// Returns an exit status when the arguments end the command (help or an error).
std::optional<int> parse(const std::vector<std::string>& args, PlayOptions& o, std::ostream& out, std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kPlayHelp;
      return kExitOk;
    }
    const bool hasValue = i + 1 < args.size();
    long n = 0;
    if (a == "--audio" || a == "--midi") {
      if (!hasValue) return fail(err, a + " needs a device number or name");
      (a == "--audio" ? o.audio : o.midi) = args[++i];
    } else if (a == "--song") {
      if (!hasValue) return fail(err, "--song needs a MIDI file");
      o.song = args[++i];
    } else if (a == "--channel") {
      if (!hasValue || !parseIntArg(args[++i], 1, 16, n)) return fail(err, "--channel takes 1..16");
      o.channel = static_cast<int>(n);
    } else if (a == "--period") {
      if (!hasValue || !parseIntArg(args[++i], kMinPeriodFrames, kMaxPeriodFrames, n)) {
        return fail(err, "--period takes " + std::to_string(kMinPeriodFrames) + ".." + std::to_string(kMaxPeriodFrames));
      }
      o.period = static_cast<int>(n);
    } else if (a == "--outputs") {
      if (!hasValue || !parseIntArg(args[++i], 1, kMixerOutputPairs, n)) {
        return fail(err, "--outputs takes 1.." + std::to_string(kMixerOutputPairs));
      }
      o.outputs = static_cast<int>(n);
    } else if (o.kit.empty() && !a.starts_with("--")) {
      o.kit = a;
    } else {
      return fail(err, "unexpected argument '" + a + "'");
    }
  }
  if (o.kit.empty()) return fail(err, "no drum set given");
  return std::nullopt;
}

std::string millis(int frames, int rate) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(1) << (rate > 0 ? 1000.0 * frames / rate : 0.0);
  return s.str();
}

// An input that exists but will not open (held by another program, say) is said, and play goes
// on with the audio it has.
void openMidi(MidiInputPort& midi, int device, std::ostream& out, std::ostream& err) {
  midi.SetMidiInput(device, 1);
  if (midi.isOpen()) {
    out << "MIDI: " << midi.openedName() << std::endl;
  } else {
    err << "zumbel: MIDI input " << device << " could not be opened; playing without MIDI\n";
  }
}

// Layers that name a sample but got no voice: missing or unreadable files (`zumbel check` names them).
int silentLayers(const CKitbeatDoc& doc, DrumEngine& engine) {
  int silent = 0;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (doc.sound(n).refs[static_cast<std::size_t>(j)].isSet() && engine.voices().voice(n, j) == nullptr) ++silent;
    }
  }
  return silent;
}

// The window's Open without the window: the file is read again (a set that no longer opens is
// said, and the one playing goes on), then the session releases the voices, relinks the pool and
// builds every voice again, while notes keep coming in.
void reloadSet(CKitbeatDoc& doc, DrumEngine& engine, SetSession& session, const DeviceSettings& devices,
               const std::string& path, std::ostream& out, std::ostream& err) {
  if (!openKit(doc, path, "play", err)) {
    err << "zumbel: play: the set playing is kept\n";
    return;
  }
  session.UpdateView(devices);
  const int voices = engine.voices().voiceCount();
  out << "Reloaded: " << path << ", " << voices << (voices == 1 ? " sample loaded" : " samples loaded");
  if (const int silent = silentLayers(doc, engine); silent > 0) out << ", " << silent << " layers silent";
  out << std::endl;
}

// A stream that has just started does not play at once: PulseAudio, and ALSA through its pulse
// plugin, take the first few periods and then hold the writer for up to two seconds while the
// server's sink catches up. Notes stamped in that time would come out late and bunched, so a
// song starts only once the output has played a quarter of a second. False when interrupted or
// the output went away first.
bool waitUntilPlaying(AudioOutput& output, const StopSignals& signals) {
  AudioBackend* backend = output.backend();
  if (backend == nullptr) return false;
  const uint64_t wanted = static_cast<uint64_t>(backend->sampleRate()) / 4;
  const uint64_t start = output.cycle().stats().cycles;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!signals.requested() && backend->alive() && std::chrono::steady_clock::now() < deadline) {
    if ((output.cycle().stats().cycles - start) * static_cast<uint64_t>(backend->periodFrames()) >= wanted) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !signals.requested() && backend->alive();
}

}  // namespace

int runPlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  PlayOptions options;
  if (const std::optional<int> done = parse(args, options, out, err)) return *done;
  // From here on an interrupt, even one during loading, ends the program the orderly way.
  const StopSignals signals;
  // A hangup during loading waits for the loop, which then reads the set once more.
  ReloadSignal hangup;

  CKitbeatDoc doc;
  if (!openKit(doc, options.kit, "play", err)) return kExitError;
  // A song that cannot be read ends the command before any device is opened.
  std::optional<MidiSong> song;
  if (!options.song.empty()) {
    // Said as `zumbel render` says it.
    MidiFileResult read = loadMidiFile(options.song);
    if (!read.ok()) {
      const std::string problem = read.error == MidiFileError::kCannotOpen ? readProblem(options.song) : "";
      return fileError(err, "play", options.song, problem.empty() ? midiFileErrorText(read.error) : problem);
    }
    for (const std::string& w : read.song.warnings) err << "zumbel: play: " << printable(options.song) << ": " << w << '\n';
    song = std::move(read.song);
  }

  DrumEngine engine(doc);
  SystemAudio system;
  CollectingPrompts prompts;
  AudioOutput output(engine, system, prompts);
  output.setStreamRequest(AudioStreamRequest{kOutputRate, options.period, options.outputs});
  // The voices are built once the output plays; a switch only needs them released.
  output.setReloadVoices([&](bool reload) {
    if (!reload) engine.voices().ReleaseAllVoices();
  });
  const std::optional<int> audioDevice = chooseDevice(options.audio, audioOutputNames(output), "play", "audio output", err);
  if (!audioDevice || !openAudio(output, prompts, *audioDevice, err)) return kExitError;
  AudioBackend& backend = *output.backend();
  out << "Audio: " << backend.openedName() << " at " << backend.sampleRate() << " Hz, " << backend.periodFrames()
      << " frames per period, latency " << millis(backend.outputLatencyFrames(), backend.sampleRate()) << " ms"
      << std::endl;
  if (options.outputs > backend.outputPairs()) {
    err << "zumbel: play: --outputs is for JACK; this output plays every sound on its one stereo pair\n";
  }

  // The MIDI inputs depend on the output (JACK or not); one that does not exist ends the program
  // before the kit is loaded for nothing.
  MidiInputPort midi(output);
  const std::optional<int> midiDevice = chooseDevice(options.midi, midi.deviceNames(), "play", "MIDI input", err);
  if (!midiDevice) {
    output.close();
    return kExitError;
  }

  StreamPrompts loadPrompts(err);
  const HeadlessLoad load = loadVoicesHeadless(doc, engine, loadPrompts, err);
  out << "Kit: " << options.kit << ", " << load.voices << (load.voices == 1 ? " sample loaded" : " samples loaded")
      << std::endl;

  openMidi(midi, *midiDevice, out, err);
  engine.trigger().setMidiChannel(options.channel);
  out << "Channel: " << options.channel << std::endl;
  // What the window keeps for its Open: the devices in use and the session that rebuilds the
  // voices. The output is open, so the session never opens it again.
  LayerVoiceLoader loader(doc, engine, &loadPrompts);
  SetSession session(doc, engine, loader, output, &midi, loadPrompts);
  const DeviceSettings devices{*audioDevice, *midiDevice, options.channel, {}, midi.openedName(), options.outputs};

  SongInput songInput(output.cycle().songQueue());
  uint64_t endNs = 0;
  // Without a song, or when the wait for it was cut short, play goes on until interrupted (or
  // until the device goes away, which the loop reports).
  bool songPlays = false;
  if (song && waitUntilPlaying(output, signals)) {
    songPlays = true;
    songInput.start(*song, steadyNowNs());
    endNs = songInput.endNs() + static_cast<uint64_t>(std::chrono::nanoseconds(kSongTail).count());
    const double seconds = static_cast<double>(SongInput::songTimeNs(song->endTime, song->timeUnitsPerSecond)) / 1e9;
    out << "Song: " << options.song << ", " << std::fixed << std::setprecision(1) << seconds << " s" << std::endl;
  }

  uint64_t xrunsShown = 0;
  int status = kExitOk;
  while (!signals.requested() && (!songPlays || steadyNowNs() < endNs)) {
    std::this_thread::sleep_for(kPollInterval);
    for (const uint64_t xruns = backend.xrunCount(); xrunsShown < xruns;) out << "xrun " << ++xrunsShown << std::endl;
    if (output.closeIfLost()) {
      err << "zumbel: the audio device went away\n";
      status = kExitError;
      break;
    }
    engine.voices().collect();
    if (hangup.take()) reloadSet(doc, engine, session, devices, options.kit, out, err);
  }

  songInput.stop();
  midi.SetMidiInput(0, 0);
  const CycleStats stats = output.cycle().stats();
  out << "Stopped after " << stats.cycles << " periods; the audio callback took " << std::fixed << std::setprecision(1)
      << stats.meanUs() << " us on average, " << static_cast<double>(stats.p99Ns) / 1000.0 << " us or less in 99 %, "
      << static_cast<double>(stats.maxNs) / 1000.0 << " us at most, "
      << stats.slowCycles << " periods over half their length" << std::endl;
  // What is left: after the last notes have rung out nothing may sound, and every voice built
  // and not yet freed should be one of the set's.
  engine.voices().collect();
  // An output lost with its device is closed, its backend gone; its xruns were all printed.
  const uint64_t xruns = output.isOpen() ? backend.xrunCount() : xrunsShown;
  out << "At the stop: " << xruns << " xruns, "
      << zumbel_engine_tally.slotsMixing.load(std::memory_order_relaxed) << " mixer slots and "
      << engine.voices().soundingCount() << " voices sounding, "
      << zumbel_engine_tally.voicesAlive.load(std::memory_order_relaxed) << " voices held (the set has "
      << engine.voices().voiceCount() << ")" << std::endl;
  output.close();
  engine.voices().ReleaseAllVoices();
  return status;
}

}  // namespace zumbel
