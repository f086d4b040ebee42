#include "startup/command_line.h"

#include <string_view>

namespace qm {

std::optional<std::string> commandLineAnswer(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--version") return "quillmate " QUILLMATE_VERSION "\n";
    if (argument == "--help") {
      return "Usage: quillmate [--help | --version]\n"
             "\n"
             "Rotates the signature at the end of your outgoing e-mail: it keeps lists of\n"
             "headers, signatures and footers, picks entries at random at the interval you\n"
             "choose and writes them as signature files (ZQ.txt, ZQ.HTML, ZQ.rtf) into the\n"
             "folder your mail program reads. It lives in the notification area.\n"
             "\n"
             "Its settings (zq.ini) and lists (Head.qmd, Sig.qmd, Foot.qmd) are kept beside the\n"
             "program file; one copy runs per such folder. The help page is FAQ.html there.\n"
             "\n"
             "  --help     show this text and exit\n"
             "  --version  show the version and exit\n";
    }
  }
  return std::nullopt;
}

}  // namespace qm
