#include "ViewRenderer.h"

#include <QFontMetrics>
#include <QPainter>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "FileNames.h"
#include "KitbeatDoc.h"
#include "ListFont.h"

namespace zumbel {

namespace {

using skin::Blit;
using skin::Rect;
using skin::Rgb;

QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// The sample rows are composed in the list scratch of the skin surface, 12 pixels apart, and the
// text clipped to this width.
constexpr int kScratchTextRight = 450;
constexpr Blit kSampleListOut{120, 28, 389, 193, 7, 360};
constexpr int kGroupTextX = 10;
constexpr double kBytesPerMegabyte = 1048576.0;

}  // namespace

ViewRenderer::ViewRenderer(const CKitbeatDoc& doc, ViewState& state) : doc_(doc), state_(state) {}

void ViewRenderer::setSkin(const QImage& skin, int scale) {
  scale_ = scale > 0 ? scale : 1;
  skin_ = skin.convertToFormat(QImage::Format_RGB32);
  // Qt marks a picture named "@2x" as such; every copy here counts device pixels itself.
  skin_.setDevicePixelRatio(1.0);
  backing_ = QImage(skin::kWindowWidth * scale_, skin::kWindowHeight * scale_, QImage::Format_RGB32);
  backing_.fill(Qt::black);
  dirty_ = QRegion(0, 0, skin::kWindowWidth, skin::kWindowHeight);
}

QRegion ViewRenderer::takeDirty() {
  QRegion d = dirty_;
  dirty_ = QRegion();
  return d;
}

void ViewRenderer::blit(const Blit& b) {
  if (!hasSkin()) return;
  QPainter p(&backing_);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  const int s = scale_;
  p.drawImage(QPoint(b.x * s, b.y * s), skin_, QRect(b.sx * s, b.sy * s, b.w * s, b.h * s));
  dirty_ += QRect(b.x, b.y, b.w, b.h);
}

void ViewRenderer::fill(const Rect& r, Rgb colour) {
  if (!hasSkin() || r.isEmpty()) return;
  QPainter p(&backing_);
  const int s = scale_;
  p.fillRect(QRect(r.left * s, r.top * s, r.width() * s, r.height() * s), toQColor(colour));
  dirty_ += QRect(r.left, r.top, r.width(), r.height());
}

void ViewRenderer::fillScratch() {
  QPainter p(&skin_);
  const Rect& r = skin::kListScratch;
  const int s = scale_;
  p.fillRect(QRect(r.left * s, r.top * s, r.width() * s, r.height() * s), Qt::black);
}

void ViewRenderer::drawText(QImage& target, const Rect& clip, int x, int y, const std::string& text, Rgb colour,
                            bool opaque) {
  QPainter p(&target);
  p.scale(scale_, scale_);
  p.setClipRect(QRect(clip.left, clip.top, clip.width(), clip.height()));
  const QFont font = listFont();
  const QString s = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
  const int room = clip.right - x;
  const int width = QFontMetrics(font).horizontalAdvance(s);
  if (!opaque && width > room && room > 0) {
    // Free text (the memory meter) narrows itself rather than be cut: machines with many
    // gigabytes free write a longer number than its field was made for.
    p.translate(x, 0);
    p.scale(static_cast<double>(room) / width, 1.0);
    p.translate(-x, 0);
  }
  p.setFont(font);
  p.setPen(toQColor(colour));
  if (opaque) {
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(toQColor(skin::kTextBackground));
  }
  p.drawText(QRect(x, y, std::max(room, width), skin::kRowHeight + 8), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
}

void ViewRenderer::FullRedraw() {
  if (!hasSkin()) return;
  fillScratch();
  blit(skin::kFullBackground);
  DrawSampleAndGroupLists(false);
  DrawOctaveSelection();
}

void ViewRenderer::DrawSampleAndGroupLists(bool keepThumb) {
  if (!hasSkin()) return;
  const int group = state_.currentGroup;
  const int n = group >= 0 && group < kGroupListSlots ? doc_.groupSize(group) : 0;
  fillScratch();
  if (n <= skin::kListRows) fill(skin::kScrollTrack, skin::kScrollTrackColour);
  if (n > 0) {
    const GroupList& list = doc_.groupList(group);
    for (int a = std::max(0, state_.topRow); a < state_.topRow + skin::kListRows && a <= n - 1; ++a) {
      const int k = a - state_.topRow;
      const int top = skin::kListScratch.top + skin::kRowHeight * k;
      const Rect row{skin::kListScratch.left, top, kScratchTextRight, top + skin::kRowHeight};
      const Rgb colour = a == state_.locatedRow ? skin::kHighlightText : skin::kSampleText;
      drawText(skin_, row, row.left, row.top, FileNamePart(list[static_cast<std::size_t>(a)]), colour, true);
    }
  }
  blit(kSampleListOut);

  // Group rows are written over what is there: a row without a group keeps its old pixels until
  // the next full redraw.
  for (int i = 0; i < doc_.groupCount() && i < skin::kListRows; ++i) {
    std::string name = doc_.groupName(i);
    // At most 20 characters, counted as the user sees them.
    const QString shown = QString::fromStdString(name).left(skin::kGroupNameChars);
    name = shown.toStdString();
    const Rect row{kGroupTextX, skin::kListTop + skin::kRowHeight * i, skin::kGroupList.right, skin::kListTop + skin::kRowHeight * (i + 1)};
    drawText(backing_, Rect{0, 0, skin::kWindowWidth, skin::kWindowHeight}, row.left, row.top, name,
             i == group ? skin::kHighlightText : skin::kGroupText, true);
    dirty_ += QRect(row.left, row.top, skin::kWindowWidth - row.left, skin::kRowHeight);
  }
  DrawMemoryMeter();

  if (!keepThumb && n > skin::kListRows) {
    const skin::ScrollThumb t = skin::scrollThumb(n, state_.topRow);
    state_.scrollThumb = t.thumb;
    fill(skin::kScrollTrack, skin::kScrollTrackColour);
    fill(t.thumb, skin::kThumbColour);
    fill(t.inner, skin::kThumbInnerColour);
    fill(t.core, skin::kThumbCoreColour);
  }
}

void ViewRenderer::drawPad(int key, int layer, PadLook look) {
  if (key < 0 || key >= 2 * skin::kKeys || layer < 0 || layer >= skin::kPadLayers) return;
  const bool right = key >= skin::kKeys;
  const int k = right ? key - skin::kKeys : key;
  const Rect shape = skin::kPadShape[k][layer];
  const Rect cell = skin::padCell(k, layer).moved(right ? skin::kRightKeyboardOffset : 0, 0);
  Blit b{cell.left, cell.top, shape.width(), shape.height(), 0, 0};
  switch (look) {
    case PadLook::kIdleEmpty:
      b.sx = cell.left;
      b.sy = cell.top + skin::kBackgroundTop;
      break;
    case PadLook::kIdleLoaded: b = Blit{b.x, b.y, b.w, b.h, shape.left + skin::kStripLoadedX, shape.top}; break;
    case PadLook::kLitLoaded: b = Blit{b.x, b.y, b.w, b.h, shape.left + skin::kStripLitLoadedX, shape.top}; break;
    case PadLook::kLitEmpty: b = Blit{b.x, b.y, b.w, b.h, shape.left + skin::kStripLitEmptyX, shape.top}; break;
  }
  blit(b);
}

void ViewRenderer::DrawPads() {
  if (!hasSkin()) return;
  const int s = state_.firstShownSound;
  for (int k = 0; k < skin::kKeys; ++k) {
    for (int j = 0; j < skin::kPadLayers; ++j) {
      if (s + k < kSoundCount && doc_.sound(s + k).sources[j] == j) drawPad(k, j, PadLook::kIdleLoaded);
      if (s + skin::kKeys + k < kSoundCount && doc_.sound(s + skin::kKeys + k).sources[j] == j) {
        drawPad(skin::kKeys + k, j, PadLook::kIdleLoaded);
      }
    }
  }
}

void ViewRenderer::DrawOctaveSelection() {
  if (!hasSkin()) return;
  const int s = state_.firstShownSound;
  blit(skin::kEditOctavePanelRestore);
  blit(skin::kOctaveSelected[static_cast<std::size_t>(skin::octavePair(s))]);
  const auto caption = [&](int octave, int x) {
    const auto& src = skin::kOctaveCaptionSource[static_cast<std::size_t>(octave - 1)];
    blit(Blit{x, skin::kOctaveLabelY, skin::kCaptionWidth, skin::kCaptionHeight, src[0], src[1]});
  };
  // Any first shown sound but 0 and 24 shows the last pair, as the selected button does.
  const int pairStart = skin::octavePair(s) * skin::kSoundsPerPage;
  caption(skin::leftOctave(pairStart), skin::kOctaveLabelLeftX);
  caption(skin::rightOctave(pairStart), skin::kOctaveLabelRightX);
  blit(skin::kKeyboardsRestore);
  DrawPads();
}

void ViewRenderer::DrawMemoryMeter() {
  if (!hasSkin()) return;
  const uint64_t bytes = freeMemory_ ? freeMemory_() : systemFreeMemory();
  char text[64];
  std::snprintf(text, sizeof text, "Free memory %.2f MB", static_cast<double>(bytes) / kBytesPerMegabyte);
  blit(skin::kMemoryMeterRestore);
  const Blit& area = skin::kMemoryMeterRestore;
  drawText(backing_, Rect{area.x, area.y, area.x + area.w, area.y + area.h}, skin::kMemoryMeterX, skin::kMemoryMeterY, text,
           skin::kMemoryText, false);
}

void ViewRenderer::restoreSaveUnder() {
  const Rect r = state_.saveUnder;
  if (r == Rect{}) return;
  blit(Blit{r.left, r.top, skin::kSaveUnderStrip.w, skin::kSaveUnderStrip.h, skin::kSaveUnderStrip.sx,
            skin::kSaveUnderStrip.sy});
  state_.saveUnder = Rect{};
}

void ViewRenderer::drawFullPath(int row, const std::string& text) {
  if (!hasSkin()) return;
  const Rect r = skin::sampleRow(row);
  const Blit& keep = skin::kSaveUnderStrip;
  {
    QPainter p(&skin_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    const int s = scale_;
    p.drawImage(QPoint(keep.sx * s, keep.sy * s), backing_, QRect(r.left * s, r.top * s, keep.w * s, keep.h * s));
  }
  state_.saveUnder = r;
  drawText(backing_, r, r.left, r.top, text, skin::kFullPathText, true);
  dirty_ += QRect(r.left, r.top, r.width(), r.height());
}

void ViewRenderer::drawButtonPanel(int id) {
  blit(skin::kButtonPanelRestore);
  const int index = skin::buttonIndex(id);
  if (index >= 0) blit(skin::kButtonLit[static_cast<std::size_t>(index)]);
}

void ViewRenderer::drawScrollThumb(const Rect& thumb) {
  fill(skin::kScrollTrack, skin::kScrollTrackColour);
  fill(thumb, skin::kThumbColour);
  fill(thumb.inset(2), skin::kThumbInnerColour);
  fill(thumb.inset(4), skin::kThumbCoreColour);
}

void ViewRenderer::drawMidiLamp(bool lit) { blit(lit ? skin::kMidiLampLit : skin::kMidiLampOff); }

uint64_t systemFreeMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    uint64_t kib = 0;
    fields >> kib;
    return kib * 1024;
  }
  return 0;
}

}  // namespace zumbel
