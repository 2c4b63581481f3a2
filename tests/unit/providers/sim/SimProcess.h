#pragma once
// Runs duskwarden-nightlight-sim as a child process and captures its output.

#include <string>
#include <vector>

namespace duskwarden::testing {

struct ToolResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string output;
  std::string errors;
};

ToolResult runSimTool(const std::vector<std::string>& args);

}  // namespace duskwarden::testing
