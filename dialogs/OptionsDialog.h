#pragma once
// "Options": the MIDI input channel, the MIDI input device, the audio output and the number of
// stereo output pairs a JACK output registers. The dialog only shows the values it is given and
// hands back the user's choice after OK; the view applies it. OK is refused, with the reason,
// while the channel box does not hold an integer in 1..16 or the pairs box one in 1..8.

#include <QDialog>

#include <functional>
#include <optional>

#include "OptionsValues.h"

class QComboBox;
class QLineEdit;

namespace zumbel {

// A number box's text as the dialog takes it: an optionally signed decimal integer, spaces
// around it allowed; nothing for anything else (an empty box, letters, a number too large).
std::optional<int> parseDialogInteger(const QString& text);

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionsDialog(const OptionsValues& values, QWidget* parent = nullptr);

  // The values with the user's selections and, after OK, the channel entered.
  const OptionsValues& values() const { return values_; }
  // How a refused channel is told; a warning box owned by the dialog unless set.
  void setComplaint(std::function<void(const QString&)> complain) { complain_ = std::move(complain); }

  QLineEdit* channelBox() const { return channel_; }
  QLineEdit* outputPairsBox() const { return pairs_; }
  QComboBox* midiList() const { return midi_; }
  QComboBox* outputList() const { return output_; }

  void accept() override;

 private:
  // Says why OK was refused and puts the caret back in `box`.
  void refuse(const QString& reason, QLineEdit* box);

  OptionsValues values_;
  QLineEdit* channel_;
  QLineEdit* pairs_;
  QComboBox* midi_;
  QComboBox* output_;
  std::function<void(const QString&)> complain_;
};

}  // namespace zumbel
