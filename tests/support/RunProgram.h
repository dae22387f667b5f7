// Running a built program from a test: its exit status and both outputs,
// captured through files in a folder the test owns.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorl::testsupport {

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Single-quotes a word for /bin/sh.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) out.push_back(line);
  return out;
}

// Runs program with args (no standard input); stdout and stderr go through
// files in scratchDir. A program killed by a signal gives 128 + the signal.
inline Result RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir) {
  std::string cmd = Quote(program);
  for (const auto& a : args) cmd += " " + Quote(a);
  const std::string out = scratchDir + "/stdout", err = scratchDir + "/stderr";
  cmd += " </dev/null >" + Quote(out) + " 2>" + Quote(err);
  Result r;
  const int status = std::system(cmd.c_str());
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

}  // namespace quorl::testsupport
