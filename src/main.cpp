#include <dlfcn.h>

#include <QByteArray>
#include <clocale>
#include <cstdio>

#include "platform/platform.h"
#include "rotation/print.h"
#include "startup/command_line.h"

int main(int argc, char* argv[]) {
  const qm::Request request = qm::commandLineRequest(argc, argv);
  if (request == qm::Request::Help || request == qm::Request::Version) {
    const std::string text = request == qm::Request::Help ? qm::helpText() : qm::versionText();
    return std::fputs(text.c_str(), stdout) < 0;
  }
  if (request != qm::Request::Start) {
    std::setlocale(LC_CTYPE, "");  // the encoding the mail program reads
    return qm::printComposition(request == qm::Request::PrintHtml);
  }
  // The window lives in a library beside the program, so that the answers above load no widgets.
  const QByteArray library =
      qm::platform::pathBytes(qm::platform::applicationDir()) + "/" QUILLMATE_WINDOW;
  // Bound lazily, as a linked program's libraries are: binding all of Qt's at once cost a tenth
  // of the start. The library is built with the program, so nothing it calls is missing.
  void* window = ::dlopen(library.constData(), RTLD_LAZY | RTLD_LOCAL);
  const auto run = window
                       ? reinterpret_cast<int (*)(int&, char**)>(::dlsym(window, "quillmateWindow"))
                       : nullptr;
  if (!run) {
    std::fprintf(stderr, "quillmate: %s\n", ::dlerror());
    return 1;
  }
  return run(argc, argv);
}
