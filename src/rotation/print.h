#pragma once

#include <cstdio>

// The signature a mail program takes from a command (quillmate --print): one composition read
// from the installation's settings and lists, written to standard output.
namespace qm {

// For each list ticked in zq.ini a random entry, drawn as a switch draws; for the others the
// entry a start shows (the last header, the first signature, the last footer). The lines of
// ZQ.txt, or with html those of ZQ.HTML, in the locale's encoding ("?" for a character it
// cannot hold) with LF line ends. A missing file is an empty list; one that cannot be read puts
// one line naming it on err, nothing on out, and gives 1. It takes no lock, writes no file and
// shows no box; each store is read through one open file, so a rebuild (a rename) cannot mix two
// states.
int printComposition(bool html, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace qm
