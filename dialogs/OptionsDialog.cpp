#include "OptionsDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

#include "DialogUnits.h"
#include "NoteTriggerEngine.h"
#include "Prompts.h"

namespace zumbel {

namespace {

// A drop-down list's layout gives the height of the list when open; closed it is one line high,
// and the open list shows what fits below that line, a line being 8 units.
constexpr int kClosedListUnits = 12;
constexpr int kListLineUnits = 8;

// A small box for a number, its text centred, like the channel's.
QLineEdit* numberBox(QWidget* parent, int value, const DialogUnits& du, int x, int y) {
  auto* box = new QLineEdit(QString::number(value), parent);
  box->setAlignment(Qt::AlignCenter);
  box->setGeometry(du.rect(x, y, 20, 12));
  return box;
}

// The value of `box` when it holds an integer in min..max; otherwise the reason to refuse OK.
std::optional<int> boxValue(const QLineEdit* box, int min, int max, QString& reason) {
  const std::optional<int> value = parseDialogInteger(box->text());
  if (!value) {
    reason = QStringLiteral("Please enter an integer.");
  } else if (*value < min || *value > max) {
    reason = QStringLiteral("Please enter an integer between %1 and %2.").arg(min).arg(max);
  } else {
    return value;
  }
  return std::nullopt;
}

QLabel* label(QWidget* parent, const QString& text, const DialogUnits& du, int x, int y, int w, int h) {
  auto* l = new QLabel(text, parent);
  QRect r = du.rect(x, y, w, h);
  // A desktop font wider than the layout's own must not cut the text off.
  r.setWidth(std::max(r.width(), l->sizeHint().width()));
  r.setHeight(std::max(r.height(), l->sizeHint().height()));
  l->setGeometry(r);
  return l;
}

QComboBox* dropDownList(QWidget* parent, const std::vector<std::string>& entries, int selected, const DialogUnits& du,
                        int x, int y, int w, int openHeight) {
  auto* list = new QComboBox(parent);
  for (const std::string& e : entries) list->addItem(QString::fromStdString(e));
  list->setCurrentIndex(selected >= 0 && selected < list->count() ? selected : -1);
  list->setMaxVisibleItems(std::max(1, (openHeight - kClosedListUnits) / kListLineUnits));
  list->setGeometry(du.x(x), du.y(y), du.x(w), std::max(du.y(kClosedListUnits), list->sizeHint().height()));
  return list;
}

}  // namespace

std::optional<int> parseDialogInteger(const QString& text) {
  const QString t = text.trimmed();
  int i = 0;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
  if (i == t.size()) return std::nullopt;
  for (int k = i; k < t.size(); ++k) {
    if (t[k] < u'0' || t[k] > u'9') return std::nullopt;
  }
  bool ok = false;
  const int value = t.toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return value;
}

OptionsDialog::OptionsDialog(const OptionsValues& values, QWidget* parent) : QDialog(parent), values_(values) {
  setWindowTitle(QStringLiteral("Options"));
  setModal(true);
  const DialogUnits du(font());
  setFixedSize(du.size(187, 146));

  label(this, QStringLiteral("Midi input channel"), du, 12, 13, 66, 10);
  channel_ = numberBox(this, values_.channel, du, 81, 11);

  label(this, QStringLiteral("Use Midi Input:"), du, 11, 30, 48, 8);
  midi_ = dropDownList(this, values_.midiDevices, values_.midiDevice, du, 10, 40, 165, 85);
  label(this, QStringLiteral("Audio Output Driver:"), du, 12, 60, 65, 8);
  output_ = dropDownList(this, values_.outputs, values_.output, du, 10, 70, 165, 55);
  // Under the output it belongs to; a JACK output opened again takes it.
  label(this, QStringLiteral("JACK output pairs"), du, 12, 90, 66, 10);
  pairs_ = numberBox(this, values_.jackOutputPairs, du, 81, 88);
  // A choice counts the moment it is made; an untouched list keeps the number it was given, also
  // one it could not show.
  connect(midi_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) values_.midiDevice = index;
  });
  connect(output_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) values_.output = index;
  });

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(du.rect(40, 113, 50, 14));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setGeometry(du.rect(96, 113, 50, 14));
  connect(ok, &QPushButton::clicked, this, &OptionsDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  channel_->setFocus();
  channel_->selectAll();
}

void OptionsDialog::refuse(const QString& reason, QLineEdit* box) {
  if (complain_) {
    complain_(reason);
  } else {
    QMessageBox::warning(this, QString::fromUtf8(kAppCaption.data(), static_cast<int>(kAppCaption.size())), reason);
  }
  box->setFocus();
  box->selectAll();
}

void OptionsDialog::accept() {
  QString reason;
  const std::optional<int> channel = boxValue(channel_, 1, kMidiChannels, reason);
  if (!channel) {
    refuse(reason, channel_);
    return;
  }
  const std::optional<int> pairs = boxValue(pairs_, 1, kMixerOutputPairs, reason);
  if (!pairs) {
    refuse(reason, pairs_);
    return;
  }
  values_.channel = *channel;
  values_.jackOutputPairs = *pairs;
  QDialog::accept();
}

}  // namespace zumbel
