#pragma once
// The header lines a user adds to every message ("X-Header"): what may go into the header
// block as one, and how it is written. Pure functions, no state.

#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

// Why Line cannot go out as a header field of its own, as the end of a sentence ("it begins
// with a blank, ..."); empty when it can. A line must be "Name: value": a field name of
// printable ASCII without blanks or colons (RFC 5322 section 3.6.8), no blank before it (a
// leading blank would continue the field above, even one Corvane wrote), no control
// character but a tab, and not a field Corvane writes itself (From, To, Cc, Bcc, Date,
// Message-ID, Subject, MIME-Version, Content-*). Empty lines are no header and are skipped.
std::string ExtraHeaderProblem(std::string_view line);

// Whether Line is a field called Name, compared without regard to case ("x-a: 1" is X-A).
bool IsFieldNamed(std::string_view line, std::string_view name);

// The lines of an extra header that ExtraHeaderProblem accepts: as typed when it is ASCII
// and fits on a line; otherwise its value is written as every unstructured field is,
// encoded beyond ASCII and folded.
std::vector<std::string> ExtraHeaderField(std::string_view line);

}  // namespace corvane::mail
