#include "startup/command_line.h"

#include <string_view>

namespace qm {

Request commandLineRequest(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") return Request::Help;
    if (argument == "--version") return Request::Version;
    if (argument == "--print") return Request::Print;
    if (argument == "--print-html") return Request::PrintHtml;
  }
  return Request::Start;
}

std::string versionText() {
  return "quillmate " QUILLMATE_VERSION "\n";
}

std::string helpText() {
  return "Usage: quillmate [--help | --version | --print | --print-html]\n"
         "\n"
         "Rotates the signature at the end of your outgoing e-mail: it keeps lists of\n"
         "headers, signatures and footers, picks entries at random at the interval you\n"
         "choose and writes them as signature files (ZQ.txt, ZQ.HTML, ZQ.rtf) into the\n"
         "folder your mail program reads. It lives in the notification area.\n"
         "\n"
         "Its settings (zq.ini) and lists (Head.qmd, Sig.qmd, Foot.qmd) are kept beside the\n"
         "program file; one copy runs per such folder. The help page is FAQ.html there.\n"
         "\n"
         "  --help        show this text and exit\n"
         "  --version     show the version and exit\n"
         "  --print       write one signature to standard output and exit: a random entry\n"
         "                of each list whose Randomize box is ticked, the entry a start\n"
         "                shows of the others, in your locale's encoding (UTF-8)\n"
         "  --print-html  the same as HTML, as in ZQ.HTML\n"
         "\n"
         "A mail program that runs a command gets a fresh signature for every message:\n"
         "  mutt, neomutt  set signature=\"quillmate --print|\"\n"
         "  aerc           signature-cmd = quillmate --print\n"
         "  Claws Mail     account, Compose, Signature: Command output, quillmate --print\n"
         "  KMail          identity, Signature: Input from command, quillmate --print\n"
         "  Evolution      Signatures, Add Script: a script that runs quillmate --print\n"
         "Thunderbird and other programs that read a file take ZQ.txt or ZQ.HTML.\n";
}

}  // namespace qm
