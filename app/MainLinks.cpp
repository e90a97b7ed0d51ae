// The desktop's mail links and "Open with": mailto: links fill the fields, files join the
// attachment list, from the command line or from a later start through the running window.

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <utility>

#include "app/Main.h"
#include "mail/MailtoLink.h"

namespace corvane::app {

namespace {

bool IsLink(const QString& argument) { return mail::IsMailtoLink(argument.toStdString()); }

QString Listed(const QStringList& names) { return names.join(QStringLiteral(", ")); }

// "To", "To and Cc", "To, Cc and Subject".
QString InWords(QStringList names) {
    const QString last = names.takeLast();
    return names.isEmpty() ? last : TMainForm::tr("%1 and %2").arg(Listed(names), last);
}

}  // namespace

void TMainForm::CreateLinks() {
    AskReplaceFields = [this](const QString& question) {
        QMessageBox box(QMessageBox::Question, QString::fromLatin1(Caption), question, QMessageBox::NoButton,
                        this);
        box.setTextFormat(Qt::PlainText);
        QPushButton* replace = box.addButton(tr("&Replace"), QMessageBox::AcceptRole);
        QPushButton* keep = box.addButton(tr("&Keep"), QMessageBox::RejectRole);
        // What was typed is the safer guess: Enter and Esc keep it.
        box.setDefaultButton(keep);
        box.setEscapeButton(keep);
        box.exec();
        return box.clickedButton() == replace;
    };
}

QStringList TMainForm::ResolveArguments(const QStringList& arguments) {
    QStringList resolved;
    for (const QString& argument : arguments) {
        if (IsLink(argument)) {
            resolved.push_back(argument);
        } else if (argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            resolved.push_back(url.isLocalFile() ? url.toLocalFile() : argument);
        } else {
            resolved.push_back(QFileInfo(argument).absoluteFilePath());
        }
    }
    return resolved;
}

void TMainForm::OpenArguments(const QStringList& arguments) {
    m_pendingArguments += arguments;
    if (m_sending || m_openingArguments) {
        return;  // the send's end, or the running call below, takes them
    }
    m_openingArguments = true;
    while (!m_pendingArguments.isEmpty()) {
        const QStringList batch = std::exchange(m_pendingArguments, {});
        QStringList problems;
        QStringList files;
        QStringList missing;
        for (const QString& argument : batch) {
            if (IsLink(argument)) {
                OpenLink(argument, problems);
            } else if (QFileInfo(argument).isFile()) {
                files.push_back(QFileInfo(argument).absoluteFilePath());
            } else {
                missing.push_back(argument);
            }
        }
        AddAttachments(files);
        QStringList said;
        if (!problems.isEmpty()) {
            said.push_back(tr("The mail link is malformed; left out: %1.").arg(Listed(problems)));
        }
        if (!missing.isEmpty()) {
            said.push_back(tr("Not a file to attach: %1.").arg(Listed(missing)));
        }
        if (!said.isEmpty()) {
            SetStatusText(said.join(QLatin1Char(' ')));
        }
    }
    m_openingArguments = false;
}

void TMainForm::OpenLink(const QString& linkText, QStringList& problems) {
    const mail::TMailtoLink link = mail::ParseMailtoLink(linkText.toStdString());
    for (const std::string& problem : link.LeftOut) {
        problems.push_back(QString::fromStdString(problem));
    }
    struct TField {
        QString Name;
        QString Value;
        std::function<QString()> Get;
        std::function<void(const QString&)> Set;
    };
    auto history = [](const QString& name, const std::string& value, regctrls::TSuperComboBox* box) {
        return TField{name, QString::fromStdString(value), [box] { return box->currentText(); },
                      [box](const QString& text) { box->setEditText(text); }};
    };
    const std::vector<TField> fields{
        history(tr("To"), link.To, SendTo),
        history(tr("Cc"), link.Cc, CC),
        history(tr("Bcc"), link.Bcc, BCC),
        history(tr("Subject"), link.Subject, Subject),
        TField{tr("the message text"), QString::fromStdString(link.Body), [this] { return Messages->toPlainText(); },
               [this](const QString& text) { Messages->setPlainText(text); }},
    };
    QStringList taken;  // fields that hold something else already
    for (const TField& field : fields) {
        const QString now = field.Get();
        if (!field.Value.isEmpty() && !now.isEmpty() && now != field.Value) {
            taken.push_back(field.Name);
        }
    }
    const bool replace =
        !taken.isEmpty() &&
        AskReplaceFields(tr("The mail link brings its own %1, but something is written there "
                            "already.\n\nReplace it with the link's, or keep what is there?")
                             .arg(InWords(taken)));
    bool filled = false;
    for (const TField& field : fields) {
        if (!field.Value.isEmpty() && (replace || field.Get().isEmpty())) {
            field.Set(field.Value);
            filled = true;
        }
    }
    if (filled || !taken.isEmpty()) {
        PageControl1->setCurrentWidget(TabSheet0);
    }
}

}  // namespace corvane::app
