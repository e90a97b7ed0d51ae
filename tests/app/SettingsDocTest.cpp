// docs/SETTINGS.md against what the program really writes: every value in the store after a
// session is documented with its type, and every value documented as written on close is
// there.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <fstream>
#include <regex>

#include "MemoryKeyring.h"
#include "RegistryTestSupport.h"
#include "app/Main.h"
#include "app/ServerDialogs.h"

namespace corvane::app {
namespace {

constexpr const char* Root = "HKEY_CURRENT_USER\\Software\\Halden Software\\Corvane\\";

struct TDocumentedValue {
    std::regex Key;
    std::regex Name;
    std::string KeyText;
    std::string NameText;
    std::string Type;
    std::string Written;
};

std::string RegexFor(const std::string& text) {
    std::string pattern;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "{n}") == 0 || text.compare(i, 3, "{k}") == 0) {
            pattern += "[0-9]+";
            i += 2;
        } else if (text.compare(i, 8, "{server}") == 0) {
            pattern += "[^\\\\]+";  // one key name
            i += 7;
        } else if (std::string("\\.[]()*+?^$|").find(text[i]) != std::string::npos) {
            pattern += std::string("\\") + text[i];
        } else {
            pattern += text[i];
        }
    }
    return pattern;
}

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 1;
    for (auto bar = line.find('|', start); bar != std::string::npos; bar = line.find('|', start)) {
        std::string cell = line.substr(start, bar - start);
        cell.erase(0, cell.find_first_not_of(' '));
        cell.erase(cell.find_last_not_of(' ') + 1);
        cells.push_back(cell);
        start = bar + 1;
    }
    return cells;
}

std::vector<TDocumentedValue> DocumentedValues() {
    std::ifstream doc(CORVANE_SOURCE_DIR "/docs/SETTINGS.md");
    std::vector<TDocumentedValue> values;
    for (std::string line; std::getline(doc, line);) {
        const auto cells = Cells(line);
        if (cells.size() == 6 && cells[2].starts_with("REG_")) {
            values.push_back({std::regex(RegexFor(Root + cells[0])), std::regex(RegexFor(cells[1])), cells[0],
                              cells[1], cells[2], cells[4]});
        }
    }
    return values;
}

TEST(SettingsDoc, DescribesExactlyWhatTheProgramWrites) {
    const auto documented = DocumentedValues();
    ASSERT_GT(documented.size(), 50u) << "the table of docs/SETTINGS.md was not found";

    test::TScratchRegistry store;
    {
        TMainForm form;
        form.Organization->setEditText(QStringLiteral("Org"));
        form.X_Mailer->setEditText(QStringLiteral("Mailer"));
        form.X_Header->setPlainText(QStringLiteral("X-A: 1"));
        form.Messages->setPlainText(QStringLiteral("Hi"));
        form.Attachment->SetItems({"/tmp/a"});
        form.Sigs[0]->setPlainText(QStringLiteral("sig"));
        for (auto* history : {form.From, form.Smtp, form.SendTo, form.CC, form.BCC, form.Subject}) {
            history->setEditText(QStringLiteral("x"));
            history->SaveToRegistry();  // as the start of a send does
        }
        // A server's settings, as its dialog stores them.
        form.Passwords.SetKeyring(std::make_unique<test::TMemoryKeyring>());
        form.RunServerDialog = [](TServerSettingsDialog& dialog) {
            dialog.Security->setCurrentIndex(1);
            dialog.UserName->setText(QStringLiteral("user"));
            return true;
        };
        form.SmtpSettingsClick();
        form.close();
    }
    test::TRawStore raw(store.StoreFile());
    const auto rows = raw.Column(R"sql(
        WITH RECURSIVE path(id, p) AS (
          SELECT id, name FROM keys WHERE parent IS NULL
          UNION ALL SELECT k.id, path.p || '\' || k.name FROM keys k JOIN path ON k.parent = path.id)
        SELECT path.p || '|' || v.name || '|' || v.type FROM vals v JOIN path ON v.key = path.id)sql");
    const std::map<std::string, std::string> typeNames{{"1", "REG_SZ"}, {"4", "REG_DWORD"}};
    std::set<std::string> stored;
    for (const auto& row : rows) {
        const auto first = row.find('|');
        const auto second = row.find('|', first + 1);
        const std::string key = row.substr(0, first);
        const std::string name = row.substr(first + 1, second - first - 1);
        const std::string type = typeNames.count(row.substr(second + 1)) ? typeNames.at(row.substr(second + 1)) : row;
        stored.insert(key + "|" + name);
        const bool described = std::any_of(documented.begin(), documented.end(), [&](const TDocumentedValue& value) {
            return std::regex_match(key, value.Key) && std::regex_match(name, value.Name) && value.Type == type;
        });
        EXPECT_TRUE(described) << "not in docs/SETTINGS.md: " << key << " " << name << " " << type;
    }
    for (const auto& value : documented) {
        if ((value.Written != "close" && value.Written != "Save Now" && value.Written != "server settings") ||
            value.NameText.find("{n}") != std::string::npos) {
            continue;
        }
        for (int k = 1; k <= (value.KeyText.find("{k}") != std::string::npos ? 8 : 1); ++k) {
            std::string key = Root + value.KeyText;
            std::string name = value.NameText;
            for (std::string* text : {&key, &name}) {
                if (const auto at = text->find("{k}"); at != std::string::npos) {
                    text->replace(at, 3, std::to_string(k));
                }
                if (const auto at = text->find("{server}"); at != std::string::npos) {
                    text->replace(at, 8, "x");  // the Smtp field of the session above
                }
            }
            EXPECT_TRUE(stored.count(key + "|" + name)) << "documented but not written: " << key << " " << name;
        }
    }
}

}  // namespace
}  // namespace corvane::app
