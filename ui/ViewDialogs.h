#pragma once
// The dialogs the main window opens to ask for files, names and options. The program shows Qt's own
// (QtViewDialogs); tests answer them by script, so every path through them runs offscreen.

#include <optional>
#include <string>
#include <vector>

#include "OptionsValues.h"

namespace zumbel {

// One file dialog. The filter is in Qt's form, "Description (*.a *.b)".
struct FileRequest {
  std::string title;
  std::string initial;  // a file name or a path to start at; empty: the dialog's own choice
  std::string filter;
  std::string suffix;   // added to a name typed without an extension
};

// The filters the window's dialogs offer: every kind of file the sample reader plays (WAV, AIFF
// and FLAC; kits from other programs come in all three). Recorders and Windows machines write
// ".WAV" as often as ".wav", and file names are case-sensitive here, so both are listed.
inline constexpr const char* kWavFilter = "Sample Files (*.wav *.WAV *.aif *.AIF *.aiff *.AIFF *.flac *.FLAC)";
inline constexpr const char* kWaveImportFilter = kWavFilter;
inline constexpr const char* kDrumSetFilter = "Drum set (*.drums)";
inline constexpr const char* kSampleListFilter = "Sample list (*.slist)";

// What a whole sound carried onto a pad that already has one does there.
enum class OccupiedPadAnswer { kReplace, kSwap, kCancel };

class ViewDialogs {
 public:
  virtual ~ViewDialogs() = default;
  // Several existing files, in the order the dialog gives them; empty on Cancel.
  virtual std::vector<std::string> openFiles(const FileRequest& request) = 0;
  // One existing file; nothing on Cancel.
  virtual std::optional<std::string> openFile(const FileRequest& request) = 0;
  // A file to write, after asking before one is replaced; nothing on Cancel.
  virtual std::optional<std::string> saveFile(const FileRequest& request) = 0;
  // The Create Group dialog with its name preset; the name entered, nothing on Cancel.
  virtual std::optional<std::string> askGroupName(const std::string& preset) = 0;
  // The Options dialog, modal, showing `values`; the values chosen, nothing on Cancel.
  virtual std::optional<OptionsValues> runOptions(const OptionsValues& values) = 0;
  // Asks `text` with the buttons Replace, Swap (only when `offerSwap`) and Cancel.
  virtual OccupiedPadAnswer askReplaceOrSwap(const std::string& text, bool offerSwap) = 0;
};

}  // namespace zumbel
