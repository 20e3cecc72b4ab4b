// zumbel devices: the audio outputs and MIDI inputs, numbered as `zumbel play` takes them.

#include "AudioSystem.h"
#include "Commands.h"
#include "DrumEngine.h"
#include "LiveSetup.h"
#include "MidiInputPort.h"

#include <sstream>

namespace zumbel {

namespace {

const char kDevicesHelp[] =
    "Usage: zumbel devices [--audio N|NAME]\n"
    "Lists the audio outputs and the MIDI inputs with the numbers 'zumbel play' takes. The MIDI\n"
    "inputs depend on the output: with JACK, input 0 is a JACK MIDI port, otherwise an ALSA\n"
    "sequencer port; the output (default 0) is opened for a moment to list them as play would.\n";

}  // namespace

int runDevices(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string audio;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      out << kDevicesHelp;
      return kExitOk;
    }
    if (args[i] == "--audio" && i + 1 < args.size()) {
      audio = args[++i];
    } else {
      err << "zumbel: devices: unexpected argument '" << args[i] << "'\nTry 'zumbel devices --help'.\n";
      return kExitError;
    }
  }

  const CKitbeatDoc doc;
  DrumEngine engine(doc);
  SystemAudio system;
  CollectingPrompts prompts;
  AudioOutput output(engine, system, prompts);

  const std::vector<std::string> outputs = audioOutputNames(output);
  const std::optional<int> device = chooseDevice(audio, outputs, "devices", "audio output", err);
  if (!device) return kExitError;
  out << "Audio outputs:\n";
  for (std::size_t i = 0; i < outputs.size(); ++i) out << "  " << i << "  " << outputs[i] << '\n';
  // Without an output the MIDI inputs are still listed, as they would be without JACK.
  std::ostringstream quiet;
  const bool opened = openAudio(output, prompts, *device, quiet);
  MidiInputPort midi(output);
  out << "MIDI inputs" << (opened ? "" : " (no audio output could be opened)") << ":\n";
  const std::vector<std::string> names = midi.deviceNames();
  for (std::size_t i = 0; i < names.size(); ++i) out << "  " << i << "  " << names[i] << '\n';
  return kExitOk;
}

}  // namespace zumbel
