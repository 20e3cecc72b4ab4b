#pragma once
// The per-user settings: the audio output, the MIDI input and the MIDI channel the program uses,
// the output pairs of a JACK output, and the list of recently opened drum sets. Everything else lives in the files. On Linux the
// store is ~/.config/Nordwick/Zumbel.conf, with the same section and entry names as anywhere.

#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>

namespace zumbel {

// Section and entry names, as every installation has stored them; the device names beside the
// numbers are this program's own.
inline const QString kSettingsSection = QStringLiteral("Settings");
inline const QString kOutputEntry = QStringLiteral("OutPutNro");
inline const QString kMidiPortEntry = QStringLiteral("MidiPortInUse");
inline const QString kMidiChannelEntry = QStringLiteral("MidiChannelInUse");
inline const QString kOutputNameEntry = QStringLiteral("OutPutName");
inline const QString kMidiPortNameEntry = QStringLiteral("MidiPortName");
inline const QString kJackOutputPairsEntry = QStringLiteral("JackOutputPairs");
inline const QString kRecentSection = QStringLiteral("Recent File List");

class SettingsStore {
 public:
  // The user's own store.
  SettingsStore();
  // A store in the file `path`, for tests and portable setups.
  explicit SettingsStore(const QString& path);

  // The stored integer, or `fallback` when the entry is absent or not an integer.
  int GetProfileInt(const QString& section, const QString& entry, int fallback) const;
  // Creates what is needed; failures are ignored.
  void WriteProfileInt(const QString& section, const QString& entry, int value);
  QString GetProfileString(const QString& section, const QString& entry) const;
  void WriteProfileString(const QString& section, const QString& entry, const QString& value);

  // The three device settings as start-up reads them: output -1 (absent) means the default, 0.
  int outputDevice() const;
  int midiPort() const;
  int midiChannel() const;
  // The names the output and MIDI devices had when they were chosen; empty when none was stored.
  QString outputName() const { return GetProfileString(kSettingsSection, kOutputNameEntry); }
  QString midiPortName() const { return GetProfileString(kSettingsSection, kMidiPortNameEntry); }
  // The stereo output pairs a JACK output registers, 1..kMixerOutputPairs; 1 when none is stored.
  int jackOutputPairs() const;

  // The most recently opened or saved drum sets, most recent first, at most kRecentFiles.
  static constexpr int kRecentFiles = 4;
  QStringList recentFiles() const;
  // Puts `path` first, as an absolute clean path, dropping an older mention of it and whatever
  // falls off the end.
  void addRecentFile(const QString& path);
  // Drops `path` from the list, the later entries moving up: a set that no longer opens.
  void removeRecentFile(const QString& path);

  void sync() { settings_->sync(); }

 private:
  void writeRecentFiles(const QStringList& files);

  std::unique_ptr<QSettings> settings_;
};


}  // namespace zumbel
