#pragma once
// The command-line tools: zumbel info, check, relink, edit, render, play, devices and import-kit.
// They run without a window and print to the streams they are given, so tests call them in-process.

#include <ostream>
#include <string>
#include <vector>

namespace zumbel {

// Exit status of every command: success, a finding (such as missing samples), an error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFinding = 1;
inline constexpr int kExitError = 2;

// `args` excludes the program name. Returns the exit status.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRelink(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runEdit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runPlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runDevices(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runImportKit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

void printUsage(std::ostream& out);
// "zumbel VERSION", the version the About box shows.
void printVersion(std::ostream& out);

}  // namespace zumbel
