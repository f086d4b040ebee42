#include "rotation/output.h"

#include <QDir>
#include <QStringList>

#include "common/ansi.h"
#include "common/failure.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "startup/settings.h"
#include "startup/utility.h"

namespace qm {
namespace {

constexpr char kLineEnd[] = "\r\n";

QByteArray withCharacterReferences(const QByteArray& bytes) {
  QByteArray out;
  out.reserve(bytes.size());
  for (char byte : bytes) {
    if (static_cast<unsigned char>(byte) < 0x80) {
      out += byte;
    } else {
      out += "&#" + QByteArray::number(fromAnsi(QByteArrayView(&byte, 1)).at(0).unicode()) + ';';
    }
  }
  return out;
}

}  // namespace

QByteArray htmlSignature(QByteArrayView signature) {
  return trimOuter(signature).toByteArray().replace("\r\n", "<BR>");
}

QByteArray textForm(const ShownEntries& shown) {
  QByteArray text = "\r\n";
  for (const QByteArray& entry : shown) text += trimOuter(entry).toByteArray() + kLineEnd;
  return text;
}

QByteArray htmlForm(const ShownEntries& shown) {
  QByteArrayList entries;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    entries += kStores[i]->multiLine ? htmlSignature(shown[i]) : trimOuter(shown[i]).toByteArray();
  }
  return withCharacterReferences("<BR><P>" + entries.join("<BR>") + "</P>") + kLineEnd;
}

void OutputSig(const ShownEntries& shown) {
  const FailureHandler handler("OutputSig");
  ModSig.SigDir = sGetINI(ModSig.IniPath, "Settings", "siglocation", "?");
  // The directory is joined as stored, whatever it ends with.
  const QString dir = platform::pathFromBytes(ModSig.SigDir);
  // Each file is synced before its rename; the folders renamed in once, after the last.
  QStringList renamedIn;
  const auto write = [&](const char* name, const QByteArray& form,
                         std::source_location where = std::source_location::current()) {
    return handler.run(
        [&] {
          // A relative directory would land wherever the program was started.
          if (dir.isEmpty() || QDir::isRelativePath(dir)) throw Failure(Err::PathNotFound);
          const QString folder = platform::replaceFile(platform::resolveFileName(dir, name), form,
                                                       platform::Replacement::FolderSync::Later);
          if (!renamedIn.contains(folder)) renamedIn << folder;
        },
        where);
  };
  if (ModSig.WriteType == "Text") {
    write("ZQ.txt", textForm(shown));
  } else if (ModSig.WriteType == "Text & HTML") {
    if (write("ZQ.txt", textForm(shown)) && write("ZQ.HTML", htmlForm(shown))) {
      write("ZQ.rtf", textForm(shown));
    }
  } else if (ModSig.WriteType == "HTML") {
    write("ZQ.HTML", htmlForm(shown));
  }
  for (const QString& folder : renamedIn) {
    if (!handler.run([&] { platform::syncFolder(folder); })) return;
  }
}

}  // namespace qm
