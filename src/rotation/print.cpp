#include "rotation/print.h"

#include <QDir>
#include <algorithm>
#include <climits>
#include <cwchar>
#include <memory>
#include <string>

#include "common/ansi.h"
#include "common/convert.h"
#include "common/failure.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "rotation/output.h"
#include "rotation/rotation.h"
#include "startup/profile.h"
#include "stores/text_store.h"

namespace qm {
namespace {

bool ticked(const QByteArray& settings, const char* key) {
  try {
    return toTicked(profileValue(settings, "Settings", key).value_or("0"));
  } catch (const Failure&) {
    return false;  // a value the window refuses with a box ticks nothing
  }
}

// The entry as the window's box holds it; a missing store is an empty list.
QByteArray shownEntry(const TextStore& store, bool random) {
  std::unique_ptr<platform::File> file;
  try {
    file = std::make_unique<platform::File>(storePath(store), platform::File::Access::ReadExisting);
  } catch (const Failure& failure) {
    if (failure.number() == Err::FileNotFound) return {};
    throw;
  }
  const int count =
      checkedRecordNumber(static_cast<int>(std::min<qint64>(file->size() / store.length, INT_MAX)));
  if (count == 0) return {};
  const int n = random && count >= 2 ? drawRecord(count) : store.showsFirst ? 1 : count;
  QByteArray record(store.length, ' ');
  file->readAt(record.data(), store.length, qint64{n - 1} * store.length);
  return firstBytes(record, store.shownBytes).toByteArray();
}

// Windows-1252 bytes in the locale's encoding, every CR LF and lone CR made LF.
std::string inLocale(QByteArrayView bytes) {
  const QString text = fromAnsi(bytes).replace(QLatin1String("\r\n"), QLatin1String("\n"));
  std::string out;
  char buffer[MB_LEN_MAX];
  std::mbstate_t state{};
  for (const QChar c : text) {
    const size_t size = std::wcrtomb(buffer, c == u'\r' ? L'\n' : wchar_t{c.unicode()}, &state);
    if (size == static_cast<size_t>(-1)) {
      out += '?';
      state = {};
    } else {
      out.append(buffer, size);
    }
  }
  return out;
}

}  // namespace

int printComposition(bool html, std::FILE* out, std::FILE* err) {
  QString reading;  // the file a failure names
  try {
    reading = platform::resolveFileName(platform::applicationDir(), QStringLiteral("zq.ini"));
    QByteArray settings;
    try {
      settings = platform::readFile(reading);
    } catch (const Failure& failure) {
      if (failure.number() != Err::FileNotFound) throw;  // none: no list is ticked
    }
    ShownEntries shown;
    for (std::size_t i = 0; i < kStores.size(); ++i) {
      reading = storePath(*kStores[i]);
      shown[i] = shownEntry(*kStores[i], ticked(settings, kStores[i]->randomKey));
    }
    const std::string text = inLocale(html ? htmlForm(shown) : textForm(shown));
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0
               ? 0
               : 1;
  } catch (const Failure& failure) {
    std::fprintf(err, "quillmate: %s: %s\n", platform::pathBytes(reading).constData(),
                 failureDescription(failure.number()));
    return 1;
  }
}

}  // namespace qm
