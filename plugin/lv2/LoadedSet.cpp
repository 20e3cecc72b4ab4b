#include "LoadedSet.h"

#include <filesystem>
#include <sstream>

#include "FileProblems.h"
#include "HeadlessKit.h"

namespace zumbel {

SetLoadResult loadSet(const std::string& path, int rate) {
  SetLoadResult result;
  std::ostringstream problems;
  auto set = std::make_unique<LoadedSet>();
  set->path = path;
  set->doc = std::make_unique<CKitbeatDoc>();
  // Hosts keep a set that lies outside the session as a link in the session's folder; its
  // samples lie beside the file the link names, not beside the link.
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  if (!openKit(*set->doc, error ? path : real.string(), "lv2", problems)) {
    result.problems = problems.str();
    return result;
  }
  set->engine = std::make_unique<DrumEngine>(*set->doc, rate);
  StreamPrompts prompts(problems);
  // Its voices never change once built, so the mixer is never told an audio thread runs it: the
  // set is freed whole, off the audio thread, only after that thread has let go of it.
  loadVoicesHeadless(*set->doc, *set->engine, prompts, problems);
  result.set = std::move(set);
  result.problems = problems.str();
  return result;
}

}  // namespace zumbel
