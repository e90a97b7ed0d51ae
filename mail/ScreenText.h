#pragma once
// Text from outside (a server's reply, a certificate's names, a file name) made safe to show:
// in the status bar, a dialog or a terminal it can neither move the cursor, rewrite a line,
// reorder what follows it, start a new line, nor hide a character. Pure function, no state.

#include <string>
#include <string_view>

namespace corvane::mail {

// Text with every character a reader could be fooled by written as an escape: C0 controls,
// DEL and C1 controls, the bidi marks, embeddings, overrides and isolates (U+061C, U+200E,
// U+200F, U+202A to U+202E, U+2066 to U+2069), the line and paragraph separators (U+2028,
// U+2029) and the zero-width characters (U+200B to U+200D, U+2060, U+FEFF) become "\uXXXX";
// a byte that is not well-formed UTF-8 becomes "\xNN" (a lone 0x9B is a terminal's CSI).
// Everything else, backslashes included, is kept as it is.
std::string ScreenSafe(std::string_view utf8);

}  // namespace corvane::mail
