#pragma once
// Everything live the main view owns: the engine, the WAV reader, the voice loader, the audio
// output, the MIDI input and the sequence that rebuilds the voices. Torn down in the order that
// keeps a note from reaching a released device: MIDI first, then the audio output.

#include "AudioOutput.h"
#include "DrumEngine.h"
#include "LayerVoiceLoader.h"
#include "MidiInputPort.h"
#include "SetSession.h"
#include "WaveReader.h"

namespace zumbel {

class AudioSystem;
class CKitbeatDoc;
class Prompts;

struct ViewEngine {
  // Without a sequencer factory the MIDI input reaches the ALSA sequencer through RtMidi.
  ViewEngine(CKitbeatDoc& doc, AudioSystem& system, Prompts& userPrompts, SequencerFactory sequencer = {})
      : prompts(userPrompts),
        engine(doc),
        reader(&userPrompts),
        loader(doc, engine, &userPrompts),
        output(engine, system, userPrompts),
        midi(output, std::move(sequencer)),
        session(doc, engine, loader, output, &midi, userPrompts) {}
  ~ViewEngine() {
    midi.SetMidiInput(0, 0);
    output.close();
    engine.voices().ReleaseAllVoices();
  }
  ViewEngine(const ViewEngine&) = delete;
  ViewEngine& operator=(const ViewEngine&) = delete;

  Prompts& prompts;
  DrumEngine engine;
  WaveReader reader;
  LayerVoiceLoader loader;
  AudioOutput output;
  MidiInputPort midi;
  SetSession session;
};

}  // namespace zumbel
