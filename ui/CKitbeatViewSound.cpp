// The view's side of the Sound Properties dialog: it shows a sound in the dialog, applies the
// dialog's messages to that sound and its voices, and closes the dialog when asked.

#include <string>

#include "CKitbeatView.h"
#include "DrumEngine.h"
#include "KitbeatDoc.h"
#include "SoundLabels.h"
#include "SoundParameter.h"
#include "SoundParameterUpdate.h"

namespace zumbel {

void CKitbeatView::ShowSoundProperties(int sound) {
  if (sound < 0 || sound >= kSoundCount) return;
  currentSound_ = sound;
  const SoundPropertiesValues values = soundPropertiesOf(sound);
  if (soundPropertiesOpen_ && soundDialog_) {
    soundDialog_->showValues(values);
  } else {
    // A window of its own that stays above the main window; the view keeps the object.
    soundDialog_ = std::make_unique<SoundPropertiesDialog>(this);
    // Queued: the dialog's handlers finish before the view acts, and the view takes the messages
    // one at a time in the order they were sent, as it would posted messages.
    connect(soundDialog_.get(), &SoundPropertiesDialog::soundParameter, this, &CKitbeatView::OnSoundParameter,
            Qt::QueuedConnection);
    connect(soundDialog_.get(), &SoundPropertiesDialog::soundName, this, &CKitbeatView::OnSoundName,
            Qt::QueuedConnection);
    connect(soundDialog_.get(), &SoundPropertiesDialog::chokeGroup, this, &CKitbeatView::OnChokeGroup,
            Qt::QueuedConnection);
    connect(soundDialog_.get(), &SoundPropertiesDialog::roundRobin, this, &CKitbeatView::OnRoundRobin,
            Qt::QueuedConnection);
    connect(soundDialog_.get(), &SoundPropertiesDialog::grabThreshold, this, &CKitbeatView::OnGrabThreshold,
            Qt::QueuedConnection);
    connect(soundDialog_.get(), &SoundPropertiesDialog::gesture, this, &CKitbeatView::OnSoundGesture,
            Qt::QueuedConnection);
    connect(soundDialog_.get(), &SoundPropertiesDialog::closeNotice, this, &CKitbeatView::OnSoundPropertiesClosed,
            Qt::QueuedConnection);
    soundDialog_->showValues(values);
    soundDialog_->show();
    soundPropertiesOpen_ = true;
  }
  doc_.SetModifiedFlag();
}

SoundPropertiesValues CKitbeatView::soundPropertiesOf(int sound) const {
  const Sound& s = doc_.sound(sound);
  SoundPropertiesValues v;
  v.sound = sound;
  v.rate = s.playbackRate();
  v.pan = s.pan();
  v.compress = s.compress();
  // A scheme or cut note a damaged file left outside the tables shows as what it plays: the
  // default scheme, no cut.
  const int32_t scheme = s.velocityScheme();
  v.scheme = (scheme >= 0 && scheme < kSchemeCount ? scheme : kDefaultScheme) + 1;
  const int32_t cut = s.cutNote();
  v.cutNote = cut >= 0 && cut < kSoundCount ? cut : kNone;
  v.noteOffEnabled = s.noteOffEnabled != 0;
  v.looping = s.looping != 0;
  v.externalPitchBend = s.externalPitchBend != 0;
  const SoundExtras& x = doc_.soundExtras(sound);
  v.name = QString::fromStdString(x.name);
  v.level = x.level;
  v.output = x.output;
  for (int k = 0; k < kShownLayers; ++k) {
    const auto i = static_cast<std::size_t>(k);
    v.layerNames[i] = layerName(sound, k);
    v.alternates[i] = static_cast<int>(x.alternates[i].size());
  }
  v.roundRobin = x.roundRobin;
  v.chokeGroup = x.chokeGroup;
  v.grabThreshold = doc_.extras().grabThreshold;
  return v;
}

QString CKitbeatView::layerName(int sound, int layer) const {
  const Sound& s = doc_.sound(sound);
  if (s.sources[0] == kNone) return QString::fromLatin1(kEmptyLayerLabel);
  const int32_t source = s.sources[static_cast<std::size_t>(layer)];
  if (layer > 0 && source != layer) {
    // A band whose source points outside the layers plays nothing.
    if (source < 0 || source >= kLayerCount) return QString::fromLatin1(kEmptyLayerLabel);
    return QString::fromStdString(CopyOfLayerLabel(source + 1));
  }
  if (engine_) {
    if (const SampleVoice* v = engine_->voices().voice(sound, layer)) return QString::fromStdString(v->path());
  }
  // Its file could not be loaded: the path the set names, so the user knows what to look for.
  const QString notLoaded = QString::fromLatin1(kNotLoadedSuffix);
  if (const auto path = doc_.samplePath(s.refs[static_cast<std::size_t>(layer)])) {
    return QString::fromStdString(std::string(*path)) + notLoaded;
  }
  return notLoaded.trimmed();
}

namespace {

// What a step from the Sound Properties dialog is called, after the control that made it.
std::string parameterLabel(int type) {
  switch (type) {
    case kSoundPan: return "Pan";
    case kSoundCompress: return "Dynamics";
    case kSoundScheme: return "Velocity Layer Scheme";
    case kSoundCutNote: return "Cut Note";
    case kSoundNoteOff: return "Note Off";
    case kSoundRate: return "Pitch";
    case kSoundLooping: return "Looping";
    case kSoundPitchBend: return "External Pitch Bend";
    case kSoundLevel: return "Level";
    case kSoundOutput: return "Output";
    default: return "Sound Setting";
  }
}

}  // namespace

void CKitbeatView::OnSoundParameter(int type, int value) {
  if (type == kSoundSelect) {
    // The dialog's sound slider: that sound becomes current and is shown.
    ShowSoundProperties(value);
    return;
  }
  const EditStep step(*this, parameterLabel(type) + " of " + soundLabel(currentSound_),
                      "sound " + std::to_string(currentSound_) + " " + std::to_string(type));
  ApplySoundParameter(doc_, engine_ ? &engine_->voices() : nullptr, currentSound_, type, value);
  // Opening the dialog marked the set; an edit made after a Save with the dialog still open must
  // mark it again, or the next Close would not ask about it.
  doc_.SetModifiedFlag();
}

void CKitbeatView::OnSoundName(const QString& name) {
  if (currentSound_ < 0 || currentSound_ >= kSoundCount) return;
  const EditStep step(*this, "Name of note " + std::to_string(currentSound_ + kFirstNote),
                      "name " + std::to_string(currentSound_));
  // The dialog has already cut it; the set keeps only what any name may be, whoever sent it.
  doc_.soundExtras(currentSound_).name = SoundNameFrom(name.toStdString());
  doc_.SetModifiedFlag();
}

// The audio thread reads these at each note, so storing them is all it takes to be heard.
void CKitbeatView::OnChokeGroup(int group) {
  if (currentSound_ < 0 || currentSound_ >= kSoundCount) return;
  const EditStep step(*this, "Choke Group of " + soundLabel(currentSound_));
  // Through the set, which keeps each group's member list in step for the note-on.
  doc_.extras().setChokeGroup(currentSound_, group);
  doc_.SetModifiedFlag();
}

void CKitbeatView::OnRoundRobin(int mode) {
  if (currentSound_ < 0 || currentSound_ >= kSoundCount) return;
  if (mode != kRoundRobinTurn && mode != kRoundRobinRandom) return;
  const EditStep step(*this, "Alternates Order of " + soundLabel(currentSound_));
  doc_.soundExtras(currentSound_).roundRobin = mode;
  doc_.SetModifiedFlag();
}

void CKitbeatView::OnGrabThreshold(int threshold) {
  if (threshold < kGrabOff || threshold > kDefaultGrabThreshold) return;
  const EditStep step(*this, "Grab Threshold", "grab");
  doc_.extras().grabThreshold = threshold;
  doc_.SetModifiedFlag();
}

void CKitbeatView::OnSoundPropertiesClosed(int code) {
  // A second notice from a window already closed must not close the one opened since.
  if (code == kSoundPropertiesClosed && sender() == soundDialog_.get()) closeSoundProperties();
}

void CKitbeatView::closeSoundProperties() {
  soundPropertiesOpen_ = false;
  if (!soundDialog_) return;
  const bool hadTheKeyboard = soundDialog_->isActiveWindow();
  soundDialog_->hide();
  // Without a window manager nobody hands the keyboard back when the dialog goes (it falls to
  // the desktop, and the window's keys stop working until it is clicked): the main window takes
  // it itself. With one, this is what it would have done.
  if (hadTheKeyboard && window()->isVisible()) {
    window()->activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
  }
  // Not deleted under a handler that may still be running in it.
  soundDialog_.release()->deleteLater();
}

}  // namespace zumbel
