#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// The headless driver: `cascade`, `autopilot` and `play`. args excludes the
// program name. Returns the exit status: 0, or 2 for bad input or usage.
int RunSim(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
