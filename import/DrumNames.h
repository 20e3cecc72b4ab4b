#pragma once
// What drum an instrument's name names, and where General MIDI plays it: kits name their
// instruments freely ("Kick", "BassDrum", "BD", "Hi-Hat Closed", "Closed HH", "Hat 1 Cl",
// "Tom Hi", "tomhi2", "Pearl Tom Floor", "Crash 2"), so the words are matched case-blind, split at
// punctuation and between letters and digits, and a kit's bracketed details are left out.

#include <climits>
#include <string>
#include <string_view>
#include <vector>

namespace zumbel::import {

// The General MIDI drum notes a name can ask for, 36..81: note 35 (acoustic bass drum) has no
// sound of its own in a set, where sound 0 answers every note up to 36, so a kick asks for 36 only.
enum class DrumKind {
  kNone, kKick, kSideStick, kSnare, kClap, kTom, kClosedHat, kPedalHat, kOpenHat, kCrash, kRide, kRideBell,
  kChina, kSplash, kTambourine, kCowbell, kVibraslap, kBongoHigh, kBongoLow, kBongo, kCongaMute, kCongaOpen,
  kCongaLow, kConga, kTimbaleHigh, kTimbaleLow, kTimbale, kAgogoHigh, kAgogoLow, kAgogo, kCabasa, kMaracas,
  kWhistle, kGuiro, kClaves, kWoodBlockHigh, kWoodBlockLow, kWoodBlock, kCuicaMute, kCuicaOpen, kCuica,
  kTriangleMute, kTriangleOpen, kTriangle
};

// The kind a name names. A bare "bell" is a ride's bell only in a kit with a ride (`kitHasRide`).
DrumKind drumKindOf(std::string_view name, bool kitHasRide);

// General MIDI's name of a drum note 35..81 ("crash cymbal 1"); empty for any other.
std::string_view generalMidiName(int note);

inline constexpr int kNoNote = INT_MIN;

struct NamedInstrument {
  std::string name;      // as the set keeps it
  std::string label;     // as the report names it
  int kitNote = kNoNote; // where the kit's order puts it
  bool sounding = false; // has a sample; only these take a note
};

// The note of each instrument by its name: each kind's notes in turn (a second crash on 57, a
// second ride on 59), the toms spread over 41..50 from the highest down. An instrument no name
// places, or one of a kind whose notes are all taken, keeps the kit's order on the first free note
// from where that order puts it (then from 36). kNoNote for instruments without a sample and for
// those no note is left for. One report line per sounding instrument, in kit order.
std::vector<int> placeGeneralMidi(const std::vector<NamedInstrument>& instruments, std::vector<std::string>& report);

}  // namespace zumbel::import
