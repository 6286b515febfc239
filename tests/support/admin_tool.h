// Running the built cortevane-admin from a test, as a script would: arguments, standard input,
// and what it printed and returned.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cortevane::test_support {

struct AdminRun {
  int exit = -1;
  std::string out, err;
};

// Runs cortevane-admin with `args` and `input` on standard input, in the folder `scratch`
// (which holds the input and output files), under the environment changes `env` ("NAME=value"
// sets, "-NAME" removes).
AdminRun RunAdmin(const std::filesystem::path& scratch, const std::vector<std::string>& args,
                  const std::string& input = "", const std::vector<std::string>& env = {});

// The text quoted for the shell; a file's whole content.
std::string ShellQuote(const std::string& arg);
std::string Slurp(const std::filesystem::path& p);

}  // namespace cortevane::test_support
