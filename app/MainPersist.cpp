// What the window writes: "Save Now" and everything on close.

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QTabWidget>

#include "app/Main.h"
#include "platform/registry/Registry.h"

namespace corvane::app {

void TMainForm::SaveFields() {
    // One transaction for all of it (inside FormClose, part of the close's one).
    registry::TWriteBatch batch;
    const auto saveText = [this](QCheckBox* box, const char* name, const regctrls::TSuperComboBox* field) {
        if (box->isChecked()) {
            MyReg1.WriteString("SaveText", name, field->currentText().toStdString());
        }
    };
    saveText(Save_From, "From", From);
    saveText(Save_Smtp, "Smtp", Smtp);
    saveText(Save_SendTo, "SendTo", SendTo);
    saveText(Save_CC, "CC", CC);
    saveText(Save_BCC, "BCC", BCC);
    if (Save_Attachment->isChecked()) {
        Attachment->SaveToRegistry();
    }
    saveText(Save_Subject, "Subject", Subject);
    if (Save_Messages->isChecked()) {
        Messages->SaveToRegistry();
    }
}

void TMainForm::FormClose() {
    // Everything the close stores is one transaction of the store: one durable commit when
    // this returns, instead of one per value, and the settings are never left half saved.
    registry::TWriteBatch batch;
    if (EditableSig->isChecked()) {
        for (regctrls::TRegMemo* signature : Sigs) {
            signature->SaveToRegistry();
        }
    }
    RegFontDialog1->SaveToRegistry();
    Organization->SaveToRegistry();
    X_Mailer->SaveToRegistry();
    X_Header->SaveToRegistry();

    // pos() is the frame's corner, the same point move() places at start-up.
    MyReg1.WriteInteger("General", "Top", pos().y());
    MyReg1.WriteInteger("General", "Left", pos().x());
    MyReg1.WriteInteger("General", "Height", height());
    MyReg1.WriteInteger("General", "Width", width());
    MyReg1.WriteInteger("General", "ActiveSig", PageControl2->currentIndex());

    const std::array<std::pair<const char*, std::pair<QCheckBox*, QCheckBox*>>, 8> boxes{{
        {"SendTo", {Clear_SendTo, Save_SendTo}},
        {"CC", {Clear_CC, Save_CC}},
        {"BCC", {Clear_BCC, Save_BCC}},
        {"Attachment", {Clear_Attachment, Save_Attachment}},
        {"Subject", {Clear_Subject, Save_Subject}},
        {"Messages", {Clear_Messages, Save_Messages}},
        {"From", {Clear_From, Save_From}},
        {"Smtp", {Clear_Smtp, Save_Smtp}},
    }};
    for (const auto& [name, pair] : boxes) {
        MyReg1.WriteBool("Clear", name, pair.first->isChecked());
    }
    for (const auto& [name, pair] : boxes) {
        MyReg1.WriteBool("Save", name, pair.second->isChecked());
    }

    MyReg1.WriteBool("Sent", "Keep", KeepSentMail->isChecked());
    MyReg1.WriteBool("Sent", "ReadReceipt", ReadReceipt->isChecked());
    MyReg1.WriteBool("Sent", "DeliveryReport", DeliveryReport->isChecked());
    MyReg1.WriteBool("General", "WordWrap", WordWrap->isChecked());
    MyReg1.WriteBool("General", "EditableSig", EditableSig->isChecked());
    MyReg1.WriteBool("General", "Load_in_Tray", Load_in_Tray->isChecked());
    MyReg1.WriteBool("General", "PlayWave", PlayWave->isChecked());
    MyReg1.WriteBool("General", "Priority", Priority->isChecked());
    MyReg1.WriteInteger("General", "PriorityValue", PriorityValue->currentIndex());
    MyReg1.WriteBool("General", "Include_Organization", Include_Organization->isChecked());
    MyReg1.WriteBool("General", "Include_X_Mailer", Include_X_Mailer->isChecked());
    MyReg1.WriteBool("General", "Include_X_Header", Include_X_Header->isChecked());
    MyReg1.WriteString("General", "BrowseDir", m_browseDir.toStdString());
    SaveFields();
}

// Closing saves everything. During a send it also cancels the send (the server lookup, or
// the connection, so a silent server cannot hold the program), and the program ends once the
// send action has returned and the worker has stopped; the window must outlive both.
void TMainForm::closeEvent(QCloseEvent* event) {
    if (m_quitWhenSent) {
        event->ignore();
        return;
    }
    FormClose();
    if (m_sending) {
        m_quitWhenSent = true;
        CancelWait();
        WrenSMTP.Abort();
        hide();
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

}  // namespace corvane::app
