// The desktop program started where its window cannot be shown: it says so and ends with status 2,
// as a command-line tool would, instead of Qt aborting with a hint to reinstall.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using namespace std::chrono_literals;
using Env = std::vector<std::pair<std::string, std::string>>;

TEST(DesktopStart, ADisplayThatCannotBeOpenedIsToldAndEndsWithStatusTwo) {
  // A display number no X server here answers on (xvfb-run takes the first free one from 99).
  if (std::filesystem::exists("/tmp/.X11-unix/X7319")) GTEST_SKIP() << "an X server listens on :7319";
  const std::string set = ZUMBEL_SOURCE_DIR "/resources/demo/Demo.drums";
  const std::pair<Env, std::vector<std::string>> cases[] = {
      {{}, {}},                                               // no display at all
      {{{"DISPLAY", ""}}, {}},                                // an empty one
      {{{"DISPLAY", ":7319"}}, {set}},                        // one nobody answers on
      {{{"DISPLAY", ":7319"}, {"QT_QPA_PLATFORM", "xcb"}}, {}},  // the same, xcb asked for by name
  };
  test::TempDir dir;
  for (const auto& [env, args] : cases) {
    SCOPED_TRACE(env.empty() ? "unset" : env[0].second);
    test::ChildProcess::Options options;
    options.argv = {ZUMBEL_BINARY};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.setEnv = env;
    options.setEnv.emplace_back("XDG_CONFIG_HOME", dir / "config");
    options.stdoutPath = dir / "zumbel.out";
    test::ChildProcess program;
    std::string error;
    ASSERT_TRUE(program.start(options, error)) << error;
    const std::optional<test::ChildExit> exit = program.wait(60s);  // a safety net, should a window open
    ASSERT_TRUE(exit.has_value()) << "still running";
    const std::string said = test::readText(dir / "zumbel.out");
    EXPECT_TRUE(exit->exited && exit->status == 2)
        << "signal " << exit->signal << ", status " << exit->status << ": " << said;
    EXPECT_NE(said.find("zumbel: there is no display to show the window on"), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace zumbel
