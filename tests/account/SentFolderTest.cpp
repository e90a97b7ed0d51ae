// Choosing the Sent folder from LIST answers as servers give them: the \Sent mark before any
// name, the names "Sent" and INBOX's "Sent" child with the server's own delimiter, quoted,
// atom and literal names (and a literal whose bytes libcurl left out), folders that cannot
// be selected, and answers with no folder to choose.

#include "account/SentFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace corvane::account {
namespace {

TEST(SentFolder, ChoosesTheMarkedFolderElseOneNamedSentElseNone) {
    const struct {
        const char* Case;
        std::string Answer;
        std::optional<std::string> Chosen;
    } cases[] = {
        {"marked, quoted with a blank",
         "* LIST (\\HasNoChildren) \"/\" INBOX\r\n* LIST (\\HasNoChildren \\Sent) \"/\" \"Sent Items\"\r\n", "Sent Items"},
        {"the mark wins over the name, whatever the order",
         "* LIST () \"/\" Sent\r\n* LIST (\\Sent) \"/\" \"Gesendete Objekte\"\r\n", "Gesendete Objekte"},
        {"the mark in any case, the answer word too",
         "* list (\\HasNoChildren \\sent) \".\" INBOX.Outbox\r\n", "INBOX.Outbox"},
        {"modified UTF-7 stays as the server spells it",
         "* LIST (\\Sent) \"/\" \"&AMk-l&AOk-ments envoy&AOk-s\"\r\n", "&AMk-l&AOk-ments envoy&AOk-s"},
        {"escapes in a quoted name", "* LIST (\\Sent) \"/\" \"My \\\"Sent\\\" \\\\ Mail\"\r\n", "My \"Sent\" \\ Mail"},
        {"a marked literal", "* LIST (\\Sent) \"/\" {11}\r\nSent\r\nItems\r\n* LIST () \"/\" Sent\r\n", "Sent\r\nItems"},
        {"a literal libcurl left without its bytes names nothing, the next line still counts",
         "* LIST (\\Sent) \"/\" {10}\r\n* LIST () \"/\" Sent\r\n", "Sent"},
        {"a flat name space (NIL) and extended data after the name",
         "* LIST (\\Sent) NIL Sent (\"CHILDINFO\" (\"SUBSCRIBED\"))\r\n", "Sent"},
        {"a marked folder that cannot be selected is passed over",
         "* LIST (\\Noselect \\Sent) \"/\" Archive\r\n* LIST (\\NonExistent \\Sent) \"/\" Old\r\n* LIST () \"/\" sent\r\n",
         "sent"},
        {"the name alone, any case", "* LIST (\\HasNoChildren) \"/\" INBOX\r\n* LIST (\\HasNoChildren) \"/\" SENT\r\n",
         "SENT"},
        {"quoted name, line feeds alone", "* LIST () \"/\" \"Sent\"\n", "Sent"},
        {"under INBOX with a dot", "* LIST () \".\" INBOX\r\n* LIST () \".\" INBOX.Sent\r\n", "INBOX.Sent"},
        {"under INBOX with a slash", "* LIST () \"/\" inbox/sent\r\n", "inbox/sent"},
        {"at the top before under INBOX", "* LIST () \".\" INBOX.Sent\r\n* LIST () \".\" Sent\r\n", "Sent"},
        {"INBOX.Sent is no child where the delimiter is a slash", "* LIST () \"/\" INBOX.Sent\r\n", std::nullopt},
        {"a name that only begins with Sent",
         "* LIST () \"/\" \"Sent Items\"\r\n* LIST () \"/\" Sentinel\r\n* LIST () \"/\" Drafts/Sent\r\n",
         std::nullopt},
        {"Sent that cannot be selected", "* LIST (\\Noselect) \"/\" Sent\r\n", std::nullopt},
        {"other answers and garbage", "* LSUB () \"/\" Sent\r\n* LIST (\\Sent \"/\" Sent\r\n* LIST (\\Sent) \"//\" Sent\r\n"
                                      "* LIST (\\Sent) \"/\" \"Sent\r\n* LIST (\\Sent) \"/\" \r\nA1 OK done\r\n",
         std::nullopt},
        {"nothing at all", "", std::nullopt},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(ChooseSentFolder(each.Answer), each.Chosen) << each.Case;
    }
}

}  // namespace
}  // namespace corvane::account
