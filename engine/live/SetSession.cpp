#include "SetSession.h"

#include "AudioOutput.h"
#include "DrumEngine.h"
#include "FileNames.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "MidiInputPort.h"
#include "Prompts.h"
#include "Relink.h"
#include "SampleProbe.h"
#include "StoredDevice.h"
#include "WaveReader.h"

namespace zumbel {

namespace {

constexpr const char* kReloadQuestion =
    "In order to change the audio port I must reload the current set from disk.\n"
    "Do you want to keep your recent changes? \n"
    "(If you answer NO all changes since last save are lost!)";

}  // namespace

SetSession::SetSession(CKitbeatDoc& doc, DrumEngine& engine, LayerVoiceLoader& loader, AudioOutput& output,
                       MidiInputPort* midi, Prompts& prompts)
    : doc_(doc), engine_(engine), loader_(loader), output_(output), midi_(midi), prompts_(prompts) {
  // Opening a stored device goes through the switch, which reloads the set; the update that
  // opens it loads the set right after, so there the switch only releases.
  output_.setReloadVoices([this](bool reload) { ReloadVoices(reload && !openingStored_); });
}

std::string SetSession::ResolveSamplePath(const std::string& path) {
  // Found where the set says or beside it: the set keeps the text it stored, so saving it
  // unchanged gives the same file, wherever the program was started.
  if (FindSampleBesideSet(path, doc_.folder())) return path;
  // Anywhere else it is kept by its full path, as the recent files are.
  const std::string& located = loader_.lastLocatedFolder();
  if (std::optional<std::string> found = ProbeSamplePath(path, doc_.folder(), located)) {
    relinkedAway_ = true;
    return AbsolutePath(*found);
  }
  const std::string suggested = located + FileNamePart(path);
  Prompts::Answer answer = Prompts::Answer::kNo;
  if (!declineAll_) {
    answer = prompts_.askYesNoNoToAll("Do you want to locate file " + suggested + " it? (Yes recommended)",
                                      "File " + suggested + " has not been found");
  }
  if (answer == Prompts::Answer::kNoToAll) declineAll_ = true;
  // Until a folder has been located the dialog starts beside the set, where moved samples most
  // often are, rather than in whatever folder the program was started from.
  const std::string startAt = located.empty() ? doc_.folder() + FileNamePart(path) : suggested;
  const std::optional<std::string> picked =
      answer == Prompts::Answer::kYes && pick_ ? pick_(startAt) : std::nullopt;
  if (!picked || !CanOpenForReading(*picked)) {
    loader_.declineLocating(path);
    return path;
  }
  // Later files of the same folder are then found without asking.
  const std::string chosen = AbsolutePath(*picked);
  loader_.setLastLocatedFolder(LocalFolderPart(chosen));
  relinkedAway_ = true;
  return chosen;
}

void SetSession::RelinkSamplePool() {
  declineAll_ = false;
  relinkedAway_ = false;
  loader_.clearDeclined();
  zumbel::RelinkSamplePool(doc_, [this](const std::string& stored) { return ResolveSamplePath(stored); });
  if (relinkedAway_) doc_.SetModifiedFlag(true);
}

void SetSession::loadVoices() {
  loader_.loadAllVoices();
  // One message for the whole set: when memory runs out, it does so for many files at once.
  if (!loader_.outOfMemory().empty()) prompts_.showMessage(NotEnoughMemoryText(loader_.outOfMemory()), kAppCaption);
  if (const std::vector<std::string>& left = loader_.missingAlternates(); !left.empty()) {
    std::string text = "These alternates are missing or cannot be played; their layers play the other takes:";
    for (std::size_t i = 0; i < left.size() && i < kMaxFilesNamed; ++i) text += "\n" + left[i];
    if (left.size() > kMaxFilesNamed) text += "\n... and " + std::to_string(left.size() - kMaxFilesNamed) + " more";
    prompts_.showMessage(text, kAppCaption);
  }
  // A sample given to a pad later is located again if need be: the user asks for it then.
  loader_.clearDeclined();
}

void SetSession::ReloadVoices(bool reload) {
  engine_.voices().ReleaseAllVoices();
  if (!reload) return;
  if (doc_.IsModified() && prompts_.askYesNo(kReloadQuestion, kAppCaption) && save_) save_();
  RelinkSamplePool();
  loadVoices();
}

void SetSession::UpdateView(const DeviceSettings& settings) {
  output_.setOutputPairs(settings.jackOutputPairs);
  if (!output_.isOpen()) {
    openingStored_ = true;
    // A stored device that is gone has been reported; the set still plays, on the default.
    if (output_.InitAudioOutput(settings.outputDevice, settings.outputName) != 1 && settings.outputDevice != 0) {
      output_.InitAudioOutput(0);
    }
    openingStored_ = false;
  }
  engine_.voices().ReleaseAllVoices();
  RelinkSamplePool();
  loadVoices();
  if (midi_) {
    // Device 0 is the program's own port whatever it is called under the output now playing.
    int device = settings.midiPort;
    if (device != 0 && !settings.midiPortName.empty()) {
      device = findStoredDevice(device, settings.midiPortName, midi_->deviceNames()).value_or(0);
    }
    midi_->SetMidiInput(device, 0);
    midi_->SetMidiInput(device, 1);
  }
  engine_.trigger().setMidiChannel(settings.midiChannel);
}

}  // namespace zumbel
