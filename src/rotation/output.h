#pragma once

#include <QByteArray>
#include <array>

#include "stores/text_store.h"

// The signature files the mail program reads, composed from the shown entries.
namespace qm {

// The entries the window shows, in the order of kStores.
using ShownEntries = std::array<QByteArray, kStores.size()>;

// The signature without outer spaces, each CR LF pair made "<BR>".
QByteArray htmlSignature(QByteArrayView signature);

// CR LF, then each entry without outer spaces followed by CR LF.
QByteArray textForm(const ShownEntries& shown);

// "<BR><P>", the entries joined by "<BR>", "</P>" and the line end. Entries without outer
// spaces, a list of several lines with its CR LF made "<BR>" (htmlSignature); every character
// above 0x7F as a numeric character reference, since an HTML file carries no charset.
QByteArray htmlForm(const ShownEntries& shown);

// Writes the files that WriteType selects into the directory stored as siglocation, read
// afresh at every call: "Text" ZQ.txt; "Text & HTML" ZQ.txt, ZQ.HTML, ZQ.rtf; "HTML" ZQ.HTML;
// anything else nothing. Each file is replaced atomically.
void OutputSig(const ShownEntries& shown);

}  // namespace qm
