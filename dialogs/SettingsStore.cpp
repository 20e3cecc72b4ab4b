#include "SettingsStore.h"

#include <algorithm>

#include <QDir>

#include "EngineConfig.h"
#include "NoteTriggerEngine.h"

namespace zumbel {

namespace {

constexpr int kNoOutputStored = -1;
constexpr int kDefaultMidiPort = 0;
constexpr int kDefaultMidiChannel = 1;

QString key(const QString& section, const QString& entry) { return section + QLatin1Char('/') + entry; }
QString recentEntry(int i) { return QStringLiteral("File%1").arg(i + 1); }

// A path as typed on the command line only means something in the folder the program was started
// from; the list is read from anywhere later, and one file must be one entry however it was named.
QString listedPath(const QString& path) { return QDir::cleanPath(QDir::current().absoluteFilePath(path)); }

}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QStringLiteral("Nordwick"), QStringLiteral("Zumbel"))) {}

SettingsStore::SettingsStore(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

int SettingsStore::GetProfileInt(const QString& section, const QString& entry, int fallback) const {
  const QVariant value = settings_->value(key(section, entry));
  if (!value.isValid()) return fallback;
  bool ok = false;
  const int n = value.toInt(&ok);
  return ok ? n : fallback;
}

void SettingsStore::WriteProfileInt(const QString& section, const QString& entry, int value) {
  settings_->setValue(key(section, entry), value);
}

QString SettingsStore::GetProfileString(const QString& section, const QString& entry) const {
  return settings_->value(key(section, entry)).toString();
}

void SettingsStore::WriteProfileString(const QString& section, const QString& entry, const QString& value) {
  settings_->setValue(key(section, entry), value);
}

int SettingsStore::outputDevice() const {
  const int stored = GetProfileInt(kSettingsSection, kOutputEntry, kNoOutputStored);
  return stored == kNoOutputStored ? 0 : stored;
}

int SettingsStore::midiPort() const { return GetProfileInt(kSettingsSection, kMidiPortEntry, kDefaultMidiPort); }

int SettingsStore::midiChannel() const {
  // The file can hold any integer; the engine turns the channel into a status byte, so one
  // outside 1..16 would overflow there.
  return std::clamp(GetProfileInt(kSettingsSection, kMidiChannelEntry, kDefaultMidiChannel), 1, kMidiChannels);
}

int SettingsStore::jackOutputPairs() const {
  // Any integer may stand in the file; the backend registers ports for what it is given.
  return std::clamp(GetProfileInt(kSettingsSection, kJackOutputPairsEntry, kDefaultJackOutputPairs), 1, kMixerOutputPairs);
}

QStringList SettingsStore::recentFiles() const {
  QStringList files;
  for (int i = 0; i < kRecentFiles; ++i) {
    const QString path = settings_->value(key(kRecentSection, recentEntry(i))).toString();
    if (!path.isEmpty()) files.append(path);
  }
  return files;
}

void SettingsStore::addRecentFile(const QString& path) {
  const QString listed = listedPath(path);
  QStringList files = recentFiles();
  files.removeAll(listed);
  files.removeAll(path);  // as an older version stored it
  files.prepend(listed);
  writeRecentFiles(files);
}

void SettingsStore::removeRecentFile(const QString& path) {
  QStringList files = recentFiles();
  // An entry an older version stored as it was typed is dropped as it reads too.
  if (files.removeAll(path) + files.removeAll(listedPath(path)) > 0) writeRecentFiles(files);
}

void SettingsStore::writeRecentFiles(const QStringList& files) {
  for (int i = 0; i < kRecentFiles; ++i) {
    const QString k = key(kRecentSection, recentEntry(i));
    if (i < files.size()) {
      settings_->setValue(k, files[i]);
    } else {
      settings_->remove(k);
    }
  }
}

}  // namespace zumbel
