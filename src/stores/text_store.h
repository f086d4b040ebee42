#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

#include "platform/files.h"

// The three lists live in record files in the application directory.
//
// Byte layout of a store file: a plain sequence of records, each exactly `length` bytes, one
// byte per character (Windows-1252). No header, no separators, no length prefixes, no trailer.
// Record n (numbered from 1) occupies bytes (n - 1) * length to n * length - 1. A text shorter
// than a record is followed by spaces (0x20) up to the record length; a longer one is cut.
// Nothing marks where a text ends. The record count is the file length divided by the record
// length; a remainder of fewer bytes at the end is not a record, and the next append
// overwrites it.
namespace qm {

// One list: its store and what the window and the settings know of it.
struct TextStore {
  const char* fileName;
  int length;
  const char* tempFileName;  // where a removal writes the surviving records
  const char* tempWriter;    // the writer of the temporary file, as failure boxes name it
  int shownBytes;            // most bytes of a record the main window's box holds and writes out
  bool multiLine;            // entries of several lines, which HTML breaks with <BR>
  // The entry a start shows and a delete falls back to: the first record as stored, or the last
  // one without its outer spaces.
  bool showsFirst;
  const char* randomKey;  // the setting that keeps the list's Randomize box
};

inline constexpr TextStore kHeaders{"Head.qmd", 100,   "TmpH.qmd", "MoveHead",
                                    100,        false, false,      "HeadRandom"};
inline constexpr TextStore kSignatures{"Sig.qmd", 255,  "Tmp.qmd", "MoveSig",
                                       253,       true, true,      "SigRandom"};
inline constexpr TextStore kFooters{"Foot.qmd", 100,   "TmpF.qmd", "MoveFoot",
                                    100,        false, false,      "FootRandom"};

// The lists in the window's order, top to bottom.
inline constexpr std::array<const TextStore*, 3> kStores{&kHeaders, &kSignatures, &kFooters};

// Record numbers of the browse, delete and edit paths are 16-bit.
inline constexpr int kMostRecordNumber = 32767;

// Every operation opens its file, works and closes it again; a missing store file is created
// empty. File system failures throw Failure with the number the failure box shows (failure.h).

// The store's path in the application directory (an existing name in other letter case wins).
QString storePath(const TextStore& store);

int CountRecords(const TextStore& store);

// The record's `length` bytes, filling spaces included. 1 <= n <= CountRecords.
QByteArray ReadRecord(const TextStore& store, int n);

// The text cut or filled with spaces to a record of `length`.
QByteArray fittedRecord(QByteArrayView text, int length);

void AppendRecord(const TextStore& store, QByteArrayView text);

// The first record whose text without outer spaces equals text without outer spaces
// (exact, case-sensitive).
std::optional<int> FindRecord(const TextStore& store, QByteArrayView text);

// The first record whose bytes begin with prefix.
std::optional<int> FindRecordBeginning(const TextStore& store, QByteArrayView prefix);

enum class Removal {
  Deleted,    // the store file is gone: it was empty, or every record matched
  Remaining,  // the records that did not match remain; none matched: the store is unchanged
  Abandoned,  // writing the temporary file failed: the store is exactly as it was
};

// Removes every record matching text as FindRecord does. The survivors are written to the
// temporary file in one pass and replace the store by one atomic rename, so the store is never
// missing or short of a record that did not match. A temporary file left by an interrupted
// removal is discarded first.
Removal RemoveRecord(const TextStore& store, QByteArrayView text);

// Moves the records matching text to the end of the store as the one record `last`, by the
// same kind of rebuild; returns how many matched (0: the store is left as it is, or deleted when
// it held no record), or nothing when writing the temporary file was given up.
std::optional<int> MoveRecordToEnd(const TextStore& store, QByteArrayView text,
                                   QByteArrayView last);

// A record count as a record number of the browse, delete and edit paths; Failure Overflow
// beyond 32,767.
int checkedRecordNumber(int count);

}  // namespace qm
