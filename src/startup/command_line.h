#pragma once

#include <optional>
#include <string>

// The program takes no options; only the two that every Linux command answers.
namespace qm {

// The text that "--help" or "--version" (the first of them given) prints, or nothing: then
// every argument is ignored and the program starts.
std::optional<std::string> commandLineAnswer(int argc, const char* const* argv);

}  // namespace qm
