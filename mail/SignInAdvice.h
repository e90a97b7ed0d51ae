#pragma once
// What the user can do when a large provider refuses a sign-in for a reason of its own
// rather than a wrong password: the words of its reply, which the user would otherwise
// have to search for, become one sentence of advice. Pure, no state.

#include <string>
#include <vector>

namespace corvane::mail {

// The sentence to add to the error for the refusal in ReplyLines (every line of the reply,
// codes included), or empty when the reply is no refusal we know advice for.
std::string SignInAdvice(const std::vector<std::string>& replyLines);

}  // namespace corvane::mail
