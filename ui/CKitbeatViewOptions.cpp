// The Options dialog as the view runs it: the lists and selections made from what is in use, the
// dialog shown, and the choices applied in an order that never lets a note reach an output being
// replaced.

#include "CKitbeatView.h"
#include "NoteTriggerEngine.h"
#include "SettingsStore.h"
#include "StoredDevice.h"
#include "ViewEngine.h"

namespace zumbel {

namespace {

// The status byte of a note-on is 0x90 + channel - 1.
constexpr int kNoteOnBeforeChannel1 = 0x8F;

}  // namespace

void CKitbeatView::writeSetting(const QString& entry, int value) {
  if (settings_) settings_->WriteProfileInt(kSettingsSection, entry, value);
}

void CKitbeatView::writeSetting(const QString& entry, const std::string& value) {
  if (settings_) settings_->WriteProfileString(kSettingsSection, entry, QString::fromStdString(value));
}

void CKitbeatView::OnOptions() {
  if (!live_) return;
  ViewEngine& live = *live_;
  const std::vector<std::string> midiNames = live.midi.deviceNames();
  OptionsValues values;
  values.midiDevices = optionsMidiList(midiNames);
  values.midiDevice = live.midi.selectedDevice();
  values.channel = live.engine.trigger().noteOnStatus() - kNoteOnBeforeChannel1;
  values.jackOutputPairs = live.output.requestedOutputPairs();
  if (const std::optional<AudioDeviceList> list = live.output.ListAudioDevices()) {
    for (const AudioDeviceInfo& d : list->devices) {
      if (static_cast<int>(values.outputs.size()) == kOptionsOutputs) break;
      values.outputs.push_back(d.description);
    }
  }
  // The stored output, found by its name when the list has moved since it was chosen; one that
  // is gone is left unselected.
  const int storedOutput = settings_ ? settings_->outputDevice() : 0;
  const std::string storedName = settings_ ? settings_->outputName().toStdString() : std::string();
  const int oldOutput = storedOutput == 0 ? 0 : findStoredDevice(storedOutput, storedName, values.outputs).value_or(-1);
  values.output = oldOutput;

  const std::optional<OptionsValues> chosen = dialogs_->runOptions(values);
  if (!chosen) return;
  applyOptions(*chosen, oldOutput, midiNames, values.outputs);
}

void CKitbeatView::applyOptions(const OptionsValues& chosen, int oldOutput, const std::vector<std::string>& midiNames,
                                const std::vector<std::string>& outputs) {
  ViewEngine& live = *live_;
  writeSetting(kMidiChannelEntry, chosen.channel);
  live.engine.trigger().setMidiChannel(chosen.channel);

  int midiInUse = live.midi.selectedDevice();
  if (chosen.midiDevice != midiInUse) {
    midiInUse = chosen.midiDevice;
    live.midi.SetMidiInput(0, 0);
    live.midi.SetMidiInput(midiInUse, 1);
    writeSetting(kMidiPortEntry, midiInUse);
    if (midiInUse >= 0 && midiInUse < static_cast<int>(midiNames.size())) {
      writeSetting(kMidiPortNameEntry, midiNames[static_cast<std::size_t>(midiInUse)]);
    }
  }

  // The pairs count from the output's next open: the switch below, or opening a JACK output
  // again when it is the only change.
  if (chosen.jackOutputPairs != live.output.requestedOutputPairs()) writeSetting(kJackOutputPairsEntry, chosen.jackOutputPairs);
  const bool pairsChangeOutput = live.output.setOutputPairs(chosen.jackOutputPairs);

  if (chosen.output != oldOutput && chosen.output >= 0 && chosen.output < static_cast<int>(outputs.size())) {
    const std::string& name = outputs[static_cast<std::size_t>(chosen.output)];
    // No note may arrive while the voices are released and the output replaced.
    live.midi.SetMidiInput(0, 0);
    // The name keeps the choice on the device the user saw, should the list change meanwhile.
    if (live.output.InitAudioOutput(chosen.output, name) == 1) {
      writeSetting(kOutputEntry, chosen.output);
      writeSetting(kOutputNameEntry, name);
    } else {
      // The user has been told why; the set plays on through the default output.
      live.output.InitAudioOutput(0);
      live.session.ReloadVoices(true);
    }
    live.midi.SetMidiInput(midiInUse, 1);
    FullRedraw();
  } else if (pairsChangeOutput) {
    // The same device again, the voices kept; the MIDI port goes with the JACK client it is on.
    live.midi.SetMidiInput(0, 0);
    if (live.output.reopen() != 1) live.output.InitAudioOutput(0);
    live.midi.SetMidiInput(midiInUse, 1);
    FullRedraw();
  }
}

}  // namespace zumbel
