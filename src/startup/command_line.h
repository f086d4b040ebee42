#pragma once

#include <string>

// The program's options: the two that every Linux command answers, and the signature for a mail
// program that runs a command.
namespace qm {

enum class Request { Start, Help, Version, Print, PrintHtml };

// The first of the options given, or Start: then the other arguments are Qt's.
Request commandLineRequest(int argc, const char* const* argv);

// What --help and --version print.
std::string helpText();
std::string versionText();

}  // namespace qm
