#include "SoundPropertiesDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "DialogUnits.h"
#include "Limits.h"
#include "SetExtras.h"
#include "SoundLabels.h"
#include "SoundParameter.h"
#include "UpDownArrows.h"

namespace zumbel {

namespace {

// The controls' ranges. The sound slider covers the sounds the keyboards show.
constexpr int kPanRange = 4000;
constexpr int kCompressMin = -8000;
constexpr int kLastShownSound = 71;
constexpr int kSoundTickInterval = 12;
constexpr int kSchemeMin = 1;
constexpr int kSchemeMax = 5;
constexpr int kCutSpinMax = 72;  // the cut note + 1: 0 is off
// The level slider steps in half decibels; one step below its lowest level is off.
constexpr int kLevelStep = 50;
constexpr int kLevelOffPosition = kMinLevel / kLevelStep - 1;
// The grab slider's left end is off; every other position is the threshold itself.
constexpr int kMaxGrab = 127;
// How much wider than its units the layout may grow to fit a wide font.
constexpr double kMaxStretch = 1.6;

QString text(const std::string& s) { return QString::fromStdString(s); }

// A trackbar's keys: a line is one step, a page a fifth of the range.
QSlider* slider(QWidget* parent, const QString& name, int min, int max) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(name);
  s->setRange(min, max);
  s->setPageStep(std::max(1, (max - min) / 5));
  return s;
}

// A level between the slider's steps (a file may hold hundredths) shows at the nearest one; its
// label still tells the level as stored.
int levelPosition(int level) {
  if (level == kLevelOff) return kLevelOffPosition;
  const int position = static_cast<int>(std::lround(static_cast<double>(level) / kLevelStep));
  return std::clamp(position, kMinLevel / kLevelStep, kMaxLevel / kLevelStep);
}

int levelAt(int position) { return position <= kLevelOffPosition ? kLevelOff : position * kLevelStep; }

void setQuietly(QAbstractSlider* control, int value) {
  const QSignalBlocker quiet(control);
  control->setValue(value);
}

}  // namespace

SoundPropertiesDialog::SoundPropertiesDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Sound Properties"));
  setModal(false);
  build();
}

void SoundPropertiesDialog::build() {
  const DialogUnits du(font());
  std::vector<std::pair<QWidget*, QRect>> placed;
  const auto place = [&](QWidget* w, int x, int y, int width, int height) {
    placed.emplace_back(w, du.rect(x, y, width, height));
  };
  const auto label = [&](const QString& shown, int x, int y, int width, int height, const QString& name = {}) {
    auto* l = new QLabel(shown, this);
    l->setObjectName(name);
    place(l, x, y, width, height);
    return l;
  };
  const auto arrows = [&](const QString& name, int min, int max, int x, int y, int width, int height) {
    auto* a = new UpDownArrows(this);
    a->setObjectName(name);
    a->setRange(min, max);
    place(a, x, y, width, height);
    return a;
  };
  // The frames first, so the controls inside them stay on top.
  const auto frame = [&](const QString& title, int x, int y, int width, int height) {
    place(new QGroupBox(title, this), x, y, width, height);
  };
  frame(QStringLiteral("Note Properties"), 10, 76, 109, 80);
  frame(QStringLiteral("Dynamics"), 125, 76, 114, 61);
  frame(QStringLiteral("Pitch"), 245, 76, 118, 80);
  // The set's extras, a row of frames under the columns above, below the cut lines.
  frame(QStringLiteral("Name"), 10, 166, 109, 32);
  frame(QStringLiteral("Level"), 125, 166, 114, 32);
  frame(QStringLiteral("Output"), 245, 166, 118, 32);
  // A second row: how a sound plays among others and its own takes, and the set's grab.
  frame(QStringLiteral("Alternates"), 10, 206, 109, 32);
  frame(QStringLiteral("Choke Group"), 125, 206, 114, 32);
  frame(QStringLiteral("Grab Threshold (whole set)"), 245, 206, 118, 32);

  QLabel* layerCaption = nullptr;
  for (int k = 0; k < kShownLayers; ++k) {
    layerCaption = label(QStringLiteral("Layer %1:").arg(k + 1), 10, 1 + 10 * k, 26, 11);
    layers_[static_cast<std::size_t>(k)] = label({}, 46, 1 + 10 * k, 262, 11, QStringLiteral("layer%1").arg(k + 1));
    QLabel* takes = label({}, 310, 1 + 10 * k, 53, 11, QStringLiteral("alternates%1").arg(k + 1));
    takes->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    alternates_[static_cast<std::size_t>(k)] = takes;
  }

  sound_ = slider(this, QStringLiteral("sound"), 0, kLastShownSound);
  sound_->setTickPosition(QSlider::TicksAbove);
  sound_->setTickInterval(kSoundTickInterval);
  place(sound_, 55, 52, 308, 22);
  octave_ = label(QStringLiteral("Octave 1 C#"), 10, 56, 45, 10, QStringLiteral("octave"));
  midinote_ = label(QStringLiteral("Midinote 2"), 10, 65, 45, 10, QStringLiteral("midinote"));

  QLabel* panCaption = label(QStringLiteral("Pan  ( -100 = L   100 = R )"), 14, 86, 85, 10);
  panLabel_ = label(QStringLiteral("99"), 100, 86, 15, 10, QStringLiteral("panLabel"));
  pan_ = slider(this, QStringLiteral("pan"), -kPanRange, kPanRange);
  place(pan_, 14, 98, 100, 15);
  noteOff_ = new QCheckBox(QStringLiteral("Note Off Enabled"), this);
  noteOff_->setObjectName(QStringLiteral("noteOff"));
  place(noteOff_, 15, 117, 88, 14);
  looping_ = new QCheckBox(QStringLiteral("Looping On"), this);
  looping_->setObjectName(QStringLiteral("looping"));
  place(looping_, 15, 131, 88, 14);

  compressLabel_ = label(QStringLiteral("Compress 34 medium compress"), 133, 86, 104, 10, QStringLiteral("compressLabel"));
  compress_ = slider(this, QStringLiteral("compress"), kCompressMin, 0);
  place(compress_, 134, 98, 100, 15);
  scheme_ = arrows(QStringLiteral("scheme"), kSchemeMin, kSchemeMax, 134, 116, 11, 16);
  schemeLabel_ = label(QStringLiteral("Velocity layer scheme 5"), 148, 120, 83, 8, QStringLiteral("schemeLabel"));
  cut_ = arrows(QStringLiteral("cut"), 0, kCutSpinMax, 146, 148, 11, 16);
  // Below the Dynamics frame the cut lines have the room up to the Pitch frame; their texts need
  // more of it than the few units once given them.
  cutFirst_ = label(QStringLiteral("Cut this note by"), 161, 141, 82, 9, QStringLiteral("cutFirst"));
  cutSecond_ = label(QStringLiteral("note"), 161, 151, 82, 13, QStringLiteral("cutSecond"));

  label(QStringLiteral("-100"), 251, 86, 20, 10);
  pitchReset_ = new QPushButton(QStringLiteral("0"), this);
  pitchReset_->setObjectName(QStringLiteral("pitchReset"));
  // Enter must not reset the pitch of whatever sound is shown.
  pitchReset_->setAutoDefault(false);
  place(pitchReset_, 294, 85, 19, 11);
  label(QStringLiteral("+100"), 338, 86, 17, 9);
  cents_ = slider(this, QStringLiteral("cents"), kMinCents, kMaxCents);
  place(cents_, 254, 97, 101, 16);
  semitone_ = arrows(QStringLiteral("semitone"), kMinSemitoneIndex, kMaxSemitoneIndex, 254, 117, 11, 16);
  semitoneLabel_ = label(QStringLiteral("0"), 270, 120, 12, 9, QStringLiteral("semitoneLabel"));
  QLabel* semitonesCaption = label(QStringLiteral("semitones"), 282, 120, 36, 9);
  centsLabel_ = label(QStringLiteral("cents"), 319, 120, 34, 9, QStringLiteral("centsLabel"));
  pitchBend_ = new QCheckBox(QStringLiteral("External Pitch Bend On"), this);
  pitchBend_->setObjectName(QStringLiteral("pitchBend"));
  place(pitchBend_, 255, 136, 97, 14);

  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("name"));
  // Characters are at least one byte each, so this is a first bound; OnName cuts to the bytes.
  name_->setMaxLength(static_cast<int>(kMaxSoundNameBytes));
  place(name_, 16, 177, 97, 14);
  level_ = slider(this, QStringLiteral("level"), kLevelOffPosition, kMaxLevel / kLevelStep);
  place(level_, 131, 177, 68, 15);
  levelLabel_ = label(QStringLiteral("0 dB"), 202, 180, 34, 10, QStringLiteral("levelLabel"));
  output_ = arrows(QStringLiteral("output"), 1, kOutputPairs, 254, 176, 11, 16);
  outputLabel_ = label(QStringLiteral("1 (main)"), 270, 179, 80, 9, QStringLiteral("outputLabel"));

  roundRobin_ = new QComboBox(this);
  roundRobin_->setObjectName(QStringLiteral("roundRobin"));
  // In the order of the values they stand for.
  roundRobin_->addItem(QStringLiteral("In turn"));
  roundRobin_->addItem(QStringLiteral("Random"));
  roundRobin_->setToolTip(QStringLiteral("How a layer with alternates picks the take of each hit.\n"
                                         "Ctrl-drag a sample onto a pad to add an alternate."));
  place(roundRobin_, 16, 217, 97, 14);
  choke_ = arrows(QStringLiteral("chokeGroup"), kNoChokeGroup, kMaxChokeGroups, 134, 216, 11, 16);
  chokeLabel_ = label(QStringLiteral("none"), 150, 219, 84, 9, QStringLiteral("chokeLabel"));
  const QString chokeTip = QStringLiteral("A hit silences every other sound of its group, as a closing hi-hat stops the open one.");
  choke_->setToolTip(chokeTip);
  chokeLabel_->setToolTip(chokeTip);
  grab_ = slider(this, QStringLiteral("grab"), kGrabOff, kMaxGrab);
  place(grab_, 251, 217, 68, 15);
  grabLabel_ = label(QStringLiteral("127"), 322, 220, 34, 10, QStringLiteral("grabLabel"));
  const QString grabTip = QStringLiteral(
      "Polyphonic aftertouch at or above this value fades out its note's sound, as a hand grabbing a cymbal.\n"
      "One value for every sound of the set; off ignores aftertouch.");
  grab_->setToolTip(grabTip);
  grabLabel_->setToolTip(grabTip);

  // The layout's widths were chosen for narrower fonts than most desktops use today. Where the
  // dialog font makes a text wider than its place, the whole layout widens by the same factor,
  // keeping its proportions, rather than cutting words off.
  const QFontMetrics metrics(font());
  const std::pair<QWidget*, QString> widest[] = {
      {layerCaption, layerCaption->text()},
      {octave_, QStringLiteral("Octave 6 G#")},
      {midinote_, QStringLiteral("Midinote 72 ")},
      {panCaption, panCaption->text()},
      {compressLabel_, QStringLiteral("Compress 74 (medium compress)")},
      {schemeLabel_, QStringLiteral("Velocity layer scheme 5")},
      {cutFirst_, QStringLiteral("This note will cut note 72")},
      {centsLabel_, QStringLiteral("+100 cents")},
      {semitonesCaption, semitonesCaption->text()},
      {levelLabel_, QStringLiteral("-59.5 dB")},
      {outputLabel_, QStringLiteral("1 (main)")},
      {alternates_[0], QStringLiteral("+15 alternates")},
      {chokeLabel_, QStringLiteral("none")},
      {grabLabel_, QStringLiteral("127")},
  };
  double stretch = 1.0;
  const auto widthOf = [&](QWidget* w) {
    for (const auto& [widget, rect] : placed) {
      if (widget == w) return rect.width();
    }
    return 1;
  };
  for (const auto& [w, shown] : widest) stretch = std::max(stretch, (metrics.horizontalAdvance(shown) + 2.0) / widthOf(w));
  for (QCheckBox* box : {noteOff_, looping_, pitchBend_}) {
    stretch = std::max(stretch, static_cast<double>(box->sizeHint().width()) / widthOf(box));
  }
  stretch = std::min(stretch, kMaxStretch);
  const auto wider = [stretch](int v) { return static_cast<int>(std::lround(v * stretch)); };
  for (const auto& [w, rect] : placed) w->setGeometry(wider(rect.x()), rect.y(), wider(rect.width()), rect.height());
  setFixedSize(wider(du.x(370)), du.y(246));

  connect(pan_, &QSlider::valueChanged, this, &SoundPropertiesDialog::OnPan);
  connect(compress_, &QSlider::valueChanged, this, &SoundPropertiesDialog::OnCompress);
  connect(sound_, &QSlider::valueChanged, this, &SoundPropertiesDialog::OnSound);
  connect(cents_, &QSlider::valueChanged, this, &SoundPropertiesDialog::OnCents);
  connect(scheme_, &UpDownArrows::valueChanged, this, &SoundPropertiesDialog::OnScheme);
  connect(semitone_, &UpDownArrows::valueChanged, this, &SoundPropertiesDialog::OnSemitone);
  connect(cut_, &UpDownArrows::valueChanged, this, &SoundPropertiesDialog::OnCut);
  connect(noteOff_, &QCheckBox::clicked, this, &SoundPropertiesDialog::OnNoteOff);
  connect(looping_, &QCheckBox::clicked, this, &SoundPropertiesDialog::OnLooping);
  connect(pitchBend_, &QCheckBox::clicked, this, &SoundPropertiesDialog::OnPitchBend);
  connect(pitchReset_, &QPushButton::clicked, this, &SoundPropertiesDialog::OnPitchReset);
  // Only what the user types: showing another sound's name sends nothing.
  connect(name_, &QLineEdit::textEdited, this, &SoundPropertiesDialog::OnName);
  connect(level_, &QSlider::valueChanged, this, &SoundPropertiesDialog::OnLevel);
  connect(output_, &UpDownArrows::valueChanged, this, &SoundPropertiesDialog::OnOutput);
  // Only what the user picks: showing another sound's choice sends nothing.
  connect(roundRobin_, &QComboBox::activated, this, &SoundPropertiesDialog::OnRoundRobin);
  connect(choke_, &UpDownArrows::valueChanged, this, &SoundPropertiesDialog::OnChokeGroup);
  connect(grab_, &QSlider::valueChanged, this, &SoundPropertiesDialog::OnGrab);
  for (QSlider* s : {pan_, compress_, cents_, level_, grab_}) {
    connect(s, &QSlider::sliderPressed, this, [this] { emit gesture(true); });
    connect(s, &QSlider::sliderReleased, this, [this] { emit gesture(false); });
  }
}

void SoundPropertiesDialog::showValues(const SoundPropertiesValues& values) {
  values_ = values;
  fillPitch();
  fillCut();
  setQuietly(pan_, values_.pan);
  panLabel_->setText(text(PanLabel(pan_->value())));
  setQuietly(sound_, values_.sound);
  octave_->setText(text(OctaveLabel(values_.sound)));
  midinote_->setText(text(MidinoteLabel(values_.sound)));
  setQuietly(compress_, values_.compress);
  compressLabel_->setText(text(CompressLabel(values_.compress)));
  setQuietly(scheme_, values_.scheme);
  schemeLabel_->setText(text(SchemeLabel(values_.scheme)));
  noteOff_->setChecked(values_.noteOffEnabled);
  looping_->setChecked(values_.looping);
  pitchBend_->setChecked(values_.externalPitchBend);
  name_->setText(values_.name);
  setQuietly(level_, levelPosition(values_.level));
  levelLabel_->setText(text(LevelLabel(values_.level)));
  const int output = std::clamp(values_.output, 0, kOutputPairs - 1);
  setQuietly(output_, output + 1);
  outputLabel_->setText(text(OutputLabel(output)));
  bool anyAlternates = false;
  for (int k = 0; k < kShownLayers; ++k) {
    const auto i = static_cast<std::size_t>(k);
    layers_[i]->setText(values_.layerNames[i]);
    alternates_[i]->setText(text(AlternatesLabel(values_.alternates[i])));
    anyAlternates = anyAlternates || values_.alternates[i] > 0;
  }
  {
    const QSignalBlocker quiet(roundRobin_);
    roundRobin_->setCurrentIndex(values_.roundRobin == kRoundRobinRandom ? 1 : 0);
  }
  // A choice between takes means something only once a layer has more than one.
  roundRobin_->setEnabled(anyAlternates);
  const int group = std::clamp(values_.chokeGroup, kNoChokeGroup, kMaxChokeGroups);
  setQuietly(choke_, group);
  chokeLabel_->setText(text(ChokeGroupLabel(group)));
  const int grab = std::clamp(values_.grabThreshold, kGrabOff, kMaxGrab);
  setQuietly(grab_, grab);
  grabLabel_->setText(text(GrabLabel(grab)));
}

void SoundPropertiesDialog::fillPitch() {
  pitch_ = RateToPitch(values_.rate);
  setQuietly(cents_, pitch_.cents);
  centsLabel_->setText(text(CentsLabel(pitch_.cents)));
  setQuietly(semitone_, pitch_.semitoneIndex);
  semitoneLabel_->setText(text(SemitoneLabel(pitch_.semitoneIndex)));
}

void SoundPropertiesDialog::fillCut() {
  setQuietly(cut_, values_.cutNote + 1);
  const CutLabels lines = CutNoteLabels(values_.cutNote);
  cutFirst_->setText(text(lines.first));
  cutSecond_->setText(text(lines.second));
}

void SoundPropertiesDialog::closeEvent(QCloseEvent* event) {
  // The view closes the window when it gets to the notice; until then it stays as it is.
  event->ignore();
  emit closeNotice(kSoundPropertiesClosed);
}

void SoundPropertiesDialog::reject() { emit closeNotice(kSoundPropertiesClosed); }

void SoundPropertiesDialog::OnPan() {
  const int position = pan_->value();
  panLabel_->setText(text(PanLabel(position)));
  values_.pan = position;
  emit soundParameter(kSoundPan, position);
}

void SoundPropertiesDialog::OnCompress() {
  const int position = compress_->value();
  compressLabel_->setText(text(CompressMovingLabel(position)));
  emit soundParameter(kSoundCompress, position);
}

void SoundPropertiesDialog::OnSound() { emit soundParameter(kSoundSelect, sound_->value()); }

void SoundPropertiesDialog::OnCents() {
  if (values_.externalPitchBend) {
    // Pitch bend has the pitch: the slider goes back and says why.
    setQuietly(cents_, pitch_.cents);
    centsLabel_->setText(text(LockedPitchLabel(values_.rate)));
    return;
  }
  pitch_.cents = cents_->value();
  values_.rate = PitchToRate(pitch_.semitoneIndex, pitch_.cents);
  emit soundParameter(kSoundRate, values_.rate);
  centsLabel_->setText(text(CentsLabel(pitch_.cents)));
}

void SoundPropertiesDialog::OnScheme() {
  const int position = scheme_->value();
  emit soundParameter(kSoundScheme, position);
  schemeLabel_->setText(text(SchemeLabel(position)));
}

void SoundPropertiesDialog::OnSemitone() {
  if (values_.externalPitchBend) {
    // Refused like the cents slider; the arrows stay on the semitone that is still in force, so
    // the next step after unlocking starts from it.
    centsLabel_->clear();
    setQuietly(semitone_, pitch_.semitoneIndex);
    return;
  }
  pitch_.semitoneIndex = semitone_->value();
  semitoneLabel_->setText(text(SemitoneLabel(pitch_.semitoneIndex)));
  values_.rate = PitchToRate(pitch_.semitoneIndex, pitch_.cents);
  emit soundParameter(kSoundRate, values_.rate);
}

void SoundPropertiesDialog::OnCut() {
  values_.cutNote = cut_->value() - 1;
  emit soundParameter(kSoundCutNote, values_.cutNote);
  const CutLabels lines = CutNoteLabels(values_.cutNote);
  cutFirst_->setText(text(lines.first));
  cutSecond_->setText(text(lines.second));
}

void SoundPropertiesDialog::readChecks() {
  values_.noteOffEnabled = noteOff_->isChecked();
  values_.looping = looping_->isChecked();
  values_.externalPitchBend = pitchBend_->isChecked();
}

void SoundPropertiesDialog::OnNoteOff() {
  readChecks();
  emit soundParameter(kSoundNoteOff, switchValue(values_.noteOffEnabled));
}

void SoundPropertiesDialog::OnLooping() {
  readChecks();
  emit soundParameter(kSoundLooping, switchValue(values_.looping));
  if (!values_.looping) return;
  // A looping sound that a note-off could not stop would ring until something cut it.
  noteOff_->setChecked(true);
  values_.noteOffEnabled = true;
  emit soundParameter(kSoundNoteOff, switchValue(true));
}

void SoundPropertiesDialog::OnPitchBend() {
  readChecks();
  emit soundParameter(kSoundPitchBend, switchValue(values_.externalPitchBend));
}

void SoundPropertiesDialog::OnPitchReset() {
  // Works while pitch bend has the pitch too: it is the way back to the sample as recorded.
  pitch_ = Pitch{};
  setQuietly(cents_, 0);
  setQuietly(semitone_, kUntransposedIndex);
  centsLabel_->setText(text(ResetCentsLabel()));
  semitoneLabel_->setText(text(SemitoneLabel(kUntransposedIndex)));
  values_.rate = PitchToRate(kUntransposedIndex, 0);
  emit soundParameter(kSoundRate, values_.rate);
}

void SoundPropertiesDialog::OnName() {
  const QString typed = name_->text();
  const QString kept = QString::fromStdString(SoundNameFrom(typed.toStdString()));
  if (kept != typed) {
    // Too long in bytes, or a pasted tab: the box shows what the sound will keep.
    const int cursor = std::min(name_->cursorPosition(), static_cast<int>(kept.size()));
    name_->setText(kept);
    name_->setCursorPosition(cursor);
  }
  values_.name = kept;
  emit soundName(kept);
}

void SoundPropertiesDialog::OnLevel() {
  values_.level = levelAt(level_->value());
  levelLabel_->setText(text(LevelLabel(values_.level)));
  emit soundParameter(kSoundLevel, values_.level);
}

void SoundPropertiesDialog::OnOutput() {
  values_.output = output_->value() - 1;
  outputLabel_->setText(text(OutputLabel(values_.output)));
  emit soundParameter(kSoundOutput, values_.output);
}

void SoundPropertiesDialog::OnRoundRobin() {
  values_.roundRobin = roundRobin_->currentIndex() == 1 ? kRoundRobinRandom : kRoundRobinTurn;
  emit roundRobin(values_.roundRobin);
}

void SoundPropertiesDialog::OnChokeGroup() {
  values_.chokeGroup = choke_->value();
  chokeLabel_->setText(text(ChokeGroupLabel(values_.chokeGroup)));
  emit chokeGroup(values_.chokeGroup);
}

void SoundPropertiesDialog::OnGrab() {
  values_.grabThreshold = grab_->value();
  grabLabel_->setText(text(GrabLabel(values_.grabThreshold)));
  emit grabThreshold(values_.grabThreshold);
}

}  // namespace zumbel
