#pragma once
// How the text of a message (its lines plus the signature, UTF-8, without line ends) goes
// on the wire, and the encoders for it. Pure functions, no state.
//
// - AsIs: every byte ASCII and every line at most 998 bytes: sent exactly as typed, with
//   no MIME labels of its own (the program's historic form).
// - EightBit: the server offered 8BITMIME, every line fits in 998 bytes and none holds NUL,
//   CR or LF (RFC 2045 section 2.8): the UTF-8 bytes as typed, labelled charset=UTF-8 and
//   8bit, MAIL FROM carries BODY=8BITMIME.
// - QuotedPrintable (RFC 2045 section 6.7) or Base64 (section 6.8) otherwise: Base64 when
//   more than half of the text's bytes are non-ASCII (Greek, Cyrillic, Chinese...), where
//   quoted-printable would triple most bytes; quoted-printable when the text is mostly
//   ASCII, which keeps it readable and compact.
// The encoded forms are 7-bit and never have a line longer than 76 characters; decoding
// them gives back each line ended by CR LF, the same text the 8bit form delivers (there the
// CR LF after the last line is the message's own).
// They carry any bytes, well-formed UTF-8 or not.

#include "mail/LineList.h"

namespace corvane::mail {

enum class ETextEncoding { AsIs, EightBit, QuotedPrintable, Base64 };

ETextEncoding ChooseTextEncoding(const TLineList& lines, bool server8BitMime);
// The same for a text held in two lists, read one after the other (the typed text and the
// signature below it), without joining them.
ETextEncoding ChooseTextEncoding(const TLineList& lines, const TLineList& more,
                                 bool server8BitMime);

// The value of Content-Transfer-Encoding for each choice: "8bit" for AsIs and EightBit.
const char* TransferEncodingName(ETextEncoding encoding);

// The lines as encoded for the body (AsIs and EightBit return them unchanged, without a
// copy when they are moved in).
TLineList EncodeText(TLineList lines, ETextEncoding encoding);
// The same for a text held in two lists, without joining them first.
TLineList EncodeText(const TLineList& lines, const TLineList& more, ETextEncoding encoding);

}  // namespace corvane::mail
