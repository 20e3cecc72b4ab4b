#pragma once
// "Sound Properties": the modeless dialog that tunes one sound (pan, dynamics, velocity layer
// scheme, cut note, pitch, note-off, looping, pitch bend; its name, level, output, choke group and
// how its alternates take turns) and tells what its five layers play and how many alternates
// each has. It also holds the one setting of the whole set a player tunes while playing: the
// aftertouch grab threshold. It never writes the drum set: every change leaves as
// soundParameter(type, value), soundName(name) or one of the extras' signals for its view, which
// stores it and retunes the voices. Its close box and Escape only ask the view to close it, with
// closeNotice.

#include <QDialog>

#include <array>

#include "Limits.h"
#include "SoundPitch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace zumbel {

class UpDownArrows;

inline constexpr int kShownLayers = 5;

// One sound's settings as the dialog shows them.
struct SoundPropertiesValues {
  int sound = 0;
  int rate = 0;  // Hz; 0 = as recorded
  int pan = 0;
  int compress = 0;
  int scheme = 1;  // as shown, 1..5
  int cutNote = -1;
  bool noteOffEnabled = false;
  bool looping = false;
  bool externalPitchBend = false;
  // The set's extras (SetExtras.h).
  QString name;
  int level = 0;   // hundredths of a dB, or kLevelOff
  int output = 0;  // stereo pair counted from 0; shown from 1
  std::array<QString, kShownLayers> layerNames;
  std::array<int, kShownLayers> alternates{};  // takes each layer has beyond its own sample
  int roundRobin = kRoundRobinTurn;
  int chokeGroup = kNoChokeGroup;
  int grabThreshold = kDefaultGrabThreshold;  // the set's, 1..127 or kGrabOff
};

class SoundPropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SoundPropertiesDialog(QWidget* parent = nullptr);

  // Sets every control from `values`, on creation and whenever the view shows another sound.
  void showValues(const SoundPropertiesValues& values);
  // The dialog's own copy, as its controls have left it.
  const SoundPropertiesValues& values() const { return values_; }
  Pitch pitch() const { return pitch_; }

 signals:
  void soundParameter(int type, int value);
  // The name as typed, already cut to what a sound keeps.
  void soundName(const QString& name);
  // kNoChokeGroup or 1..kMaxChokeGroups.
  void chokeGroup(int group);
  // kRoundRobinTurn or kRoundRobinRandom.
  void roundRobin(int mode);
  // The set's, not the sound's: 1..127, or kGrabOff.
  void grabThreshold(int threshold);
  void closeNotice(int code);
  // A slider was taken (true) or let go (false): the changes sent in between are one gesture.
  void gesture(bool started);

 protected:
  void closeEvent(QCloseEvent* event) override;

 public slots:
  // Enter does nothing; Escape is the close box.
  void accept() override {}
  void reject() override;

 private:
  void build();
  void fillPitch();
  void fillCut();

  void OnPan();
  void OnCompress();
  void OnSound();
  void OnCents();
  void OnScheme();
  void OnSemitone();
  void OnCut();
  void OnNoteOff();
  void OnLooping();
  void OnPitchBend();
  void OnPitchReset();
  void OnName();
  void OnLevel();
  void OnOutput();
  void OnChokeGroup();
  void OnRoundRobin();
  void OnGrab();
  void readChecks();

  SoundPropertiesValues values_;
  Pitch pitch_;

  std::array<QLabel*, kShownLayers> layers_{};
  std::array<QLabel*, kShownLayers> alternates_{};
  QSlider* sound_ = nullptr;
  QLabel* octave_ = nullptr;
  QLabel* midinote_ = nullptr;
  QLabel* panLabel_ = nullptr;
  QSlider* pan_ = nullptr;
  QCheckBox* noteOff_ = nullptr;
  QCheckBox* looping_ = nullptr;
  QLabel* compressLabel_ = nullptr;
  QSlider* compress_ = nullptr;
  UpDownArrows* scheme_ = nullptr;
  QLabel* schemeLabel_ = nullptr;
  UpDownArrows* cut_ = nullptr;
  QLabel* cutFirst_ = nullptr;
  QLabel* cutSecond_ = nullptr;
  QPushButton* pitchReset_ = nullptr;
  QSlider* cents_ = nullptr;
  UpDownArrows* semitone_ = nullptr;
  QLabel* semitoneLabel_ = nullptr;
  QLabel* centsLabel_ = nullptr;
  QCheckBox* pitchBend_ = nullptr;
  QLineEdit* name_ = nullptr;
  QSlider* level_ = nullptr;
  QLabel* levelLabel_ = nullptr;
  UpDownArrows* output_ = nullptr;
  QLabel* outputLabel_ = nullptr;
  QComboBox* roundRobin_ = nullptr;
  UpDownArrows* choke_ = nullptr;
  QLabel* chokeLabel_ = nullptr;
  QSlider* grab_ = nullptr;
  QLabel* grabLabel_ = nullptr;
};

}  // namespace zumbel
