#pragma once
// The Open dialog that finds one WAV file a drum set lost: it starts at the suggested name (the
// folder the user last pointed at, or just the file name) and shows WAV files only.

#include <QWidget>

#include <optional>
#include <string>

namespace zumbel {

// The full path of the file picked, nothing on Cancel.
std::optional<std::string> askForWavFile(QWidget* owner, const std::string& suggested);

}  // namespace zumbel
