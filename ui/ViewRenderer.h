#pragma once
// Puts the main window's pixels into its backing image: every drawing operation copies blocks of
// the skin or draws text at once, and records what it touched so the widget repaints only that.
// The skin surface is a private copy of the skin picture, because the sample list is composed in
// a scratch area of it. Works at any whole device pixel ratio: positions stay in window
// (logical) pixels, the skin and the backing image are that many times larger.

#include <QImage>
#include <QRegion>

#include <cstdint>
#include <functional>
#include <string>

#include "SkinLayout.h"
#include "ViewState.h"

namespace zumbel {

class CKitbeatDoc;

// How a pad looks: idle without or with a sample of its own, or lit by a note.
enum class PadLook { kIdleEmpty, kIdleLoaded, kLitLoaded, kLitEmpty };

class ViewRenderer {
 public:
  ViewRenderer(const CKitbeatDoc& doc, ViewState& state);

  // The skin picture at `scale` times the window's size (1 or 2). Until one is set every
  // operation draws nothing.
  void setSkin(const QImage& skin, int scale);
  bool hasSkin() const { return !skin_.isNull(); }
  int scale() const { return scale_; }

  // Free physical memory in bytes, for the memory meter.
  void setFreeMemory(std::function<uint64_t()> probe) { freeMemory_ = std::move(probe); }

  const QImage& backing() const { return backing_; }
  const QImage& skinSurface() const { return skin_; }
  // What changed since the last call, in window pixels.
  QRegion takeDirty();

  void FullRedraw();
  void DrawSampleAndGroupLists(bool keepThumb);
  void DrawPads();
  void DrawOctaveSelection();
  void DrawMemoryMeter();
  // Puts back what a full path drawn over a sample row covered, if anything.
  void restoreSaveUnder();
  // Keeps the pixels under sample row `row` and writes `text` (a full path) over the row.
  void drawFullPath(int row, const std::string& text);
  // The button panel's face with button `id` (1..7) lit, or unlit for any other id.
  void drawButtonPanel(int id);
  // The scroll bar with its thumb where a drag put it.
  void drawScrollThumb(const skin::Rect& thumb);

  // Pad (key, layer) of the 24 keys on screen (12..23 on the right keyboard) in a look.
  void drawPad(int key, int layer, PadLook look);
  void drawMidiLamp(bool lit);
  void blit(const skin::Blit& b);

 private:
  void fill(const skin::Rect& r, skin::Rgb colour);
  void fillScratch();
  void drawText(QImage& target, const skin::Rect& clip, int x, int y, const std::string& text, skin::Rgb colour,
                bool opaque);

  const CKitbeatDoc& doc_;
  ViewState& state_;
  QImage skin_;
  QImage backing_;
  int scale_ = 1;
  QRegion dirty_;
  std::function<uint64_t()> freeMemory_;
};

// Free physical memory as the system reports it (MemAvailable), in bytes; 0 when unknown.
uint64_t systemFreeMemory();

}  // namespace zumbel
