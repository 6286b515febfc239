#include "support/admin_tool.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace cortevane::test_support {

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

AdminRun RunAdmin(const std::filesystem::path& scratch, const std::vector<std::string>& args,
                  const std::string& input, const std::vector<std::string>& env) {
  std::string command = "env";
  for (const auto& e : env)
    command += e.starts_with("-") ? " -u " + ShellQuote(e.substr(1)) : " " + ShellQuote(e);
  command += " " + ShellQuote(CORTEVANE_BINARY_DIR "/tools/admin/cortevane-admin");
  for (const auto& a : args) command += " " + ShellQuote(a);
  std::ofstream(scratch / "in", std::ios::binary) << input;
  command += " <" + ShellQuote((scratch / "in").string()) + " >" +
             ShellQuote((scratch / "out").string()) + " 2>" +
             ShellQuote((scratch / "err").string());
  int status = std::system(command.c_str());
  AdminRun r;
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = Slurp(scratch / "out");
  r.err = Slurp(scratch / "err");
  return r;
}

}  // namespace cortevane::test_support
