#pragma once

#include <QByteArray>

// The signature files the mail program reads, composed from the shown entries.
namespace qm {

struct ShownEntries {
  QByteArray header;
  QByteArray signature;
  QByteArray footer;
};

// The signature without outer spaces, each CR LF pair made "<BR>".
QByteArray htmlSignature(QByteArrayView signature);

// The signature in HTML form as the last HTML output made it.
inline QByteArray HtmlSig;

// HtmlSig := htmlSignature(signature).
void PrepHTML(const QByteArray& signature);

// CR LF, header, CR LF, signature, CR LF, footer, each without outer spaces, then the line end.
QByteArray textForm(const ShownEntries& shown);

// "<BR><P>" header "<BR>" htmlSignature "<BR>" footer "</P>" and the line end; every character
// above 0x7F as a numeric character reference, since an HTML file carries no charset.
QByteArray htmlForm(const ShownEntries& shown);

// Writes the files that WriteType selects into the directory stored as siglocation, read
// afresh at every call: "Text" ZQ.txt; "Text & HTML" ZQ.txt, ZQ.HTML, ZQ.rtf; "HTML" ZQ.HTML;
// anything else nothing. Each file is replaced atomically.
void OutputSig(const ShownEntries& shown);

}  // namespace qm
