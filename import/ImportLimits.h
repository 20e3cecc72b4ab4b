#pragma once
// Every bound the kit importer puts on what it reads, in one place. Kits come from anywhere, so a
// file or an archive that asks for more than these is cut short or refused rather than trusted.
// The real kits are far below them: the largest drumkit.xml seen is about 40 KB with 82
// instruments and at most 8 layers each.

#include <cstddef>
#include <cstdint>

namespace zumbel::import {

// drumkit.xml is read whole into memory only up to this size.
inline constexpr std::size_t kMaxKitXmlBytes = std::size_t{4} << 20;
// Instruments read from one kit; notes 36..127 are all a set can answer, so more never play.
inline constexpr std::size_t kMaxKitInstruments = 256;
// Components and layers read per instrument; the rest are reported and left out.
inline constexpr std::size_t kMaxKitComponents = 16;
inline constexpr std::size_t kMaxKitLayers = 64;
// Characters kept of a name or a file name in the kit file.
inline constexpr std::size_t kMaxKitTextLength = 1024;

// Archives: what one may hold before it is refused with nothing written.
inline constexpr std::size_t kMaxArchiveEntries = 20000;
inline constexpr int64_t kMaxArchiveEntryBytes = int64_t{1} << 30;   // one sample file
inline constexpr int64_t kMaxArchiveTotalBytes = int64_t{4} << 30;   // everything unpacked
inline constexpr std::size_t kMaxArchivePathLength = 1024;
// Folders deep an entry may lie; kits go three or four deep.
inline constexpr std::size_t kMaxArchivePathDepth = 32;
// Folders an archive's paths make, named or implied: kits have a handful.
inline constexpr std::size_t kMaxArchiveFolders = 20000;
// Links followed one after another, or one inside another, while one link is resolved; more is
// taken for a loop, as the kernel does past 40.
inline constexpr int kMaxArchiveLinkHops = 40;

// The playback rates a sound may carry: the range the engine's voices accept (engine/EngineConfig.h,
// which the importer does not include: it builds without the engine).
inline constexpr int kMinPlaybackRate = 100;
inline constexpr int kMaxPlaybackRate = 100000;
// The rate a sound plays at while its playback rate is 0.
inline constexpr int kNaturalRate = 44100;

}  // namespace zumbel::import
