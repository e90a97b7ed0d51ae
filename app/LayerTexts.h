#pragma once
// The sentences that the account and mail layers write in English (a reason a connection or a
// copy to Sent failed, advice after a refusal) and the window shows after a beginning of its
// own: in the window's language wherever they stand in a status text. A host, a number or a
// server's own words around them stay as they are.

#include <QString>

namespace corvane::app {

QString InWindowLanguage(QString text);

}  // namespace corvane::app
