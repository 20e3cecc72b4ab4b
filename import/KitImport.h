#pragma once
// Turns a Hydrogen kit folder into a drum set: each instrument becomes the sound of the note
// Hydrogen plays it on, its velocity layers the sound's five layers, its samples the pool. What a
// drum set cannot hold is listed in the report rather than dropped silently. README.md ("Importing
// Hydrogen kits") gives the mapping.

#include <string>
#include <vector>

#include "KitbeatDoc.h"

namespace zumbel::import {

struct ImportResult {
  bool ok = false;
  std::string error;                // why nothing could be imported
  std::string kitName;              // the kit's own name, or its folder's
  std::vector<std::string> report;  // what went where, one line each
  int sounds = 0;                   // sounds made
  int samples = 0;                  // pool entries
  int missingSamples = 0;           // files missing, unreadable, or named outside the kit
};

// Which note each instrument lands on: the kit's own order (the first instrument on the first
// sound), or the General MIDI drum note its name says, so a General MIDI track plays it.
enum class NotePlacement { kKitOrder, kGeneralMidi };

struct ImportOptions {
  NotePlacement notes = NotePlacement::kKitOrder;
};

// Fills `doc`, which the caller has just made new (OnNewDocument), from the kit whose drumkit.xml
// lies in `folder`. The pool stores absolute paths. On failure `doc` may hold part of the kit.
ImportResult importHydrogenFolder(const std::string& folder, CKitbeatDoc& doc, const ImportOptions& options = {});

// The velocity fitting on its own: for layers given as (min, max) velocity ranges 0..1 in file
// order, the velocity scheme (0..4) and, for each of the five bands (loudest first), the index of
// the layer it plays. Uses the thresholds of `doc`.
struct LayerFit {
  int scheme = 4;
  int band[5] = {0, 0, 0, 0, 0};
};
LayerFit fitLayers(const std::vector<std::pair<double, double>>& ranges, const CKitbeatDoc& doc);

}  // namespace zumbel::import
