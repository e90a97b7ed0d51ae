<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>LayerTexts</name>
    <message>
        <source>Failed to connect the mail server.</source>
        <translation>Verbindung zum Mailserver fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Connection to the mail server was lost.</source>
        <translation>Die Verbindung zum Mailserver ist abgebrochen.</translation>
    </message>
    <message>
        <source>The mail server did not answer in time.</source>
        <translation>Der Mailserver hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>The mail server sent an invalid reply.</source>
        <translation>Der Mailserver hat eine ungültige Antwort gesendet.</translation>
    </message>
    <message>
        <source>The server did not confirm the message; it may have been delivered. Check before sending again.</source>
        <translation>Der Server hat die Nachricht nicht bestätigt; sie wurde vielleicht zugestellt. Prüfen Sie das, bevor Sie erneut senden.</translation>
    </message>
    <message>
        <source>There is not enough memory to compose the message.</source>
        <translation>Der Speicher reicht nicht, um die Nachricht zusammenzustellen.</translation>
    </message>
    <message>
        <source>The temporary folder %1 cannot hold the message: %2.</source>
        <translation>Der temporäre Ordner %1 kann die Nachricht nicht aufnehmen: %2.</translation>
    </message>
    <message>
        <source>The access token was refused.</source>
        <translation>Das Zugriffstoken wurde abgelehnt.</translation>
    </message>
    <message>
        <source>This server takes no password: choose OAuth2 sign-in in the server settings.</source>
        <translation>Dieser Server nimmt kein Passwort an: wählen Sie in den Servereinstellungen die Anmeldung mit OAuth2.</translation>
    </message>
    <message>
        <source>Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox.</source>
        <translation>Bitten Sie den Administrator, die SMTP-Anmeldung (SMTP AUTH) für dieses Postfach einzuschalten.</translation>
    </message>
    <message>
        <source>Create an app password in the Google account and use it in place of the password.</source>
        <translation>Erstellen Sie im Google-Konto ein App-Passwort und verwenden Sie es anstelle des Passworts.</translation>
    </message>
    <message>
        <source>: no such host.</source>
        <translation>: Host nicht gefunden.</translation>
    </message>
    <message>
        <source>: the name could not be looked up.</source>
        <translation>: der Name konnte nicht aufgelöst werden.</translation>
    </message>
    <message>
        <source>: connection refused.</source>
        <translation>: Verbindung abgewiesen.</translation>
    </message>
    <message>
        <source>: network unreachable.</source>
        <translation>: Netzwerk nicht erreichbar.</translation>
    </message>
    <message>
        <source>: host unreachable.</source>
        <translation>: Host nicht erreichbar.</translation>
    </message>
    <message>
        <source>: timed out.</source>
        <translation>: Zeit überschritten.</translation>
    </message>
    <message>
        <source>The IMAP server refused the sign-in.</source>
        <translation>Der IMAP-Server hat die Anmeldung abgelehnt.</translation>
    </message>
    <message>
        <source>The IMAP server did not answer in time.</source>
        <translation>Der IMAP-Server hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>The IMAP server does not offer STARTTLS.</source>
        <translation>Der IMAP-Server bietet kein STARTTLS an.</translation>
    </message>
    <message>
        <source>The IMAP server did not list its folders.</source>
        <translation>Der IMAP-Server hat seine Ordner nicht aufgelistet.</translation>
    </message>
    <message>
        <source>The connection to the IMAP server broke off.</source>
        <translation>Die Verbindung zum IMAP-Server ist abgebrochen.</translation>
    </message>
    <message>
        <source>The IMAP server has no Sent folder.</source>
        <translation>Der IMAP-Server hat keinen Ordner „Gesendet“.</translation>
    </message>
    <message>
        <source>Encryption with the IMAP server failed.</source>
        <translation>Die Verschlüsselung mit dem IMAP-Server ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection.</source>
        <translation>Die Kopie nach „Gesendet“ braucht SSL/TLS oder STARTTLS: die Anmeldung geht nie über eine unverschlüsselte Verbindung.</translation>
    </message>
    <message>
        <source>The copy to Sent needs an IMAP server.</source>
        <translation>Die Kopie nach „Gesendet“ braucht einen IMAP-Server.</translation>
    </message>
    <message>
        <source>The copy to Sent needs a user name for the IMAP server.</source>
        <translation>Die Kopie nach „Gesendet“ braucht einen Benutzernamen für den IMAP-Server.</translation>
    </message>
    <message>
        <source>The server's settings can be found with Ctrl+Shift+S.</source>
        <translation>Die Einstellungen des Servers lassen sich mit Strg+Umschalt+S finden.</translation>
    </message>
    <message>
        <source>Invalid address: %1</source>
        <translation>Ungültige Adresse: %1</translation>
    </message>
    <message>
        <source>The mail server cannot take the address &lt;%1&gt;.</source>
        <translation>Der Mailserver kann die Adresse &lt;%1&gt; nicht annehmen.</translation>
    </message>
    <message>
        <source>The message is %1 bytes; the server takes at most %2.</source>
        <translation>Die Nachricht hat %1 Bytes; der Server nimmt höchstens %2 an.</translation>
    </message>
    <message>
        <source>The attachments alone make the message %1 bytes; the server takes at most %2.</source>
        <translation>Schon die Anhänge machen die Nachricht %1 Bytes groß; der Server nimmt höchstens %2 an.</translation>
    </message>
    <message>
        <source>Line %1 of the text holds a NUL character; remove it and send again.</source>
        <translation>Zeile %1 des Textes enthält ein NUL-Zeichen; entfernen Sie es und senden Sie erneut.</translation>
    </message>
    <message>
        <source>Line %1 of the signature holds a NUL character; remove it and send again.</source>
        <translation>Zeile %1 der Signatur enthält ein NUL-Zeichen; entfernen Sie es und senden Sie erneut.</translation>
    </message>
    <message>
        <source>Encryption with %1 could not be started.</source>
        <translation>Die Verschlüsselung mit %1 konnte nicht begonnen werden.</translation>
    </message>
    <message>
        <source>The certificate of %1 cannot be trusted: %2.</source>
        <translation>Dem Zertifikat von %1 kann nicht vertraut werden: %2.</translation>
    </message>
    <message>
        <source>The mail server %1 does not offer STARTTLS.</source>
        <translation>Der Mailserver %1 bietet kein STARTTLS an.</translation>
    </message>
    <message>
        <source>The mail server %1 sent data before encryption started.</source>
        <translation>Der Mailserver %1 hat Daten gesendet, bevor die Verschlüsselung begann.</translation>
    </message>
    <message>
        <source>Signing in to %1 needs encryption: choose STARTTLS or SSL/TLS.</source>
        <translation>Die Anmeldung bei %1 braucht Verschlüsselung: wählen Sie STARTTLS oder SSL/TLS.</translation>
    </message>
    <message>
        <source>There is no access token for signing in to %1.</source>
        <translation>Es gibt kein Zugriffstoken für die Anmeldung bei %1.</translation>
    </message>
    <message>
        <source>The mail server %1 offers no OAuth2 sign-in (XOAUTH2, OAUTHBEARER).</source>
        <translation>Der Mailserver %1 bietet keine Anmeldung mit OAuth2 an (XOAUTH2, OAUTHBEARER).</translation>
    </message>
    <message>
        <source>The mail server %1 offers no way of signing in that Corvane knows (PLAIN, LOGIN).</source>
        <translation>Der Mailserver %1 bietet keine Anmeldung an, die Corvane kennt (PLAIN, LOGIN).</translation>
    </message>
    <message>
        <source>The access token was refused (%1).</source>
        <translation>Das Zugriffstoken wurde abgelehnt (%1).</translation>
    </message>
    <message>
        <source>Signing in with OAuth2 needs the user name: type your address into the server's settings.</source>
        <translation>Die Anmeldung mit OAuth2 braucht den Benutzernamen: geben Sie Ihre Adresse in die Einstellungen des Servers ein.</translation>
    </message>
    <message>
        <source>Corvane knows no OAuth2 sign-in for %1: OAuth2 works with the servers of the providers in docs/PROVIDERS.md that take it.</source>
        <translation>Corvane kennt keine Anmeldung mit OAuth2 für %1: OAuth2 geht mit den Servern der Anbieter in docs/PROVIDERS.md, die es annehmen.</translation>
    </message>
    <message>
        <source>Passwords are not remembered (no keyring: %1); Corvane keeps them until it ends.</source>
        <translation>Passwörter werden nicht gemerkt (kein Schlüsselbund: %1); Corvane behält sie, bis es beendet wird.</translation>
    </message>
    <message>
        <source>The IMAP server %1 was not found.</source>
        <translation>Der IMAP-Server %1 wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The IMAP server's address %1 cannot be used.</source>
        <translation>Die Adresse %1 des IMAP-Servers ist nicht verwendbar.</translation>
    </message>
    <message>
        <source>The IMAP server's certificate is not trusted: %1.</source>
        <translation>Dem Zertifikat des IMAP-Servers wird nicht vertraut: %1.</translation>
    </message>
    <message>
        <source>The IMAP server did not take the copy into "%1".</source>
        <translation>Der IMAP-Server hat die Kopie nicht in „%1“ aufgenommen.</translation>
    </message>
</context>
<context>
    <name>TCertificateDialog</name>
    <message>
        <source>Certificate of %1</source>
        <translation>Zertifikat von %1</translation>
    </message>
    <message>
        <source>

Subject: %1
Issuer: %2
Valid from %3 to %4</source>
        <translation>

Inhaber: %1
Aussteller: %2
Gültig von %3 bis %4</translation>
    </message>
    <message>
        <source>

This is not the certificate you trusted for %1 before (SHA-256: %2). Trust it only if you know why it was replaced.</source>
        <translation>

Das ist nicht das Zertifikat, dem Sie für %1 bisher vertraut haben (SHA-256: %2). Vertrauen Sie ihm nur, wenn Sie wissen, warum es ersetzt wurde.</translation>
    </message>
    <message>
        <source>

Trust it only if you know this is your server's certificate, for example by comparing the SHA-256 fingerprint with its administrator.</source>
        <translation>

Vertrauen Sie ihm nur, wenn Sie wissen, dass es das Zertifikat Ihres Servers ist, zum Beispiel nach einem Vergleich des SHA-256-Fingerabdrucks mit dessen Administrator.</translation>
    </message>
    <message>
        <source>Trust this certificate</source>
        <translation>Diesem Zertifikat vertrauen</translation>
    </message>
    <message>
        <source>SHA-256:</source>
        <translation>SHA-256:</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Send Mail</source>
        <translation>Mail senden</translation>
    </message>
    <message>
        <source>&amp;From:</source>
        <translation>&amp;Von:</translation>
    </message>
    <message>
        <source>&amp;Smtp:</source>
        <translation>&amp;Smtp:</translation>
    </message>
    <message>
        <source>&amp;To:</source>
        <translation>&amp;An:</translation>
    </message>
    <message>
        <source>&amp;Cc:</source>
        <translation>&amp;Cc:</translation>
    </message>
    <message>
        <source>&amp;Bcc:</source>
        <translation>&amp;Bcc:</translation>
    </message>
    <message>
        <source>Sub&amp;ject:</source>
        <translation>Be&amp;treff:</translation>
    </message>
    <message>
        <source>Type your email address here</source>
        <translation>Ihre E-Mail-Adresse hier eingeben</translation>
    </message>
    <message>
        <source>Your SMTP mail server</source>
        <translation>Ihr SMTP-Mailserver</translation>
    </message>
    <message>
        <source>Settings of this server: encryption, user name, password (Ctrl+Shift+S)</source>
        <translation>Einstellungen dieses Servers: Verschlüsselung, Benutzername, Passwort (Strg+Umschalt+S)</translation>
    </message>
    <message>
        <source>Also send another copy to these email</source>
        <translation>Eine Kopie auch an diese Adressen senden</translation>
    </message>
    <message>
        <source>These email address won't show in email</source>
        <translation>Diese Adressen erscheinen nicht in der Mail</translation>
    </message>
    <message>
        <source>Click here to add attach file(s)</source>
        <translation>Hier klicken, um Dateien anzuhängen</translation>
    </message>
    <message>
        <source>Press Delete button to remove file(s)</source>
        <translation>Mit Entf die Dateien entfernen</translation>
    </message>
    <message>
        <source>Type your message here</source>
        <translation>Ihre Nachricht hier eingeben</translation>
    </message>
    <message>
        <source>Choose your signature here</source>
        <translation>Ihre Signatur hier wählen</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Nachrichtentext</translation>
    </message>
    <message>
        <source>Attachments</source>
        <translation>Anhänge</translation>
    </message>
    <message>
        <source>Insert or Ctrl+O adds files, Delete removes the selected ones</source>
        <translation>Einfg oder Strg+O fügt Dateien hinzu, Entf entfernt die ausgewählten</translation>
    </message>
    <message>
        <source>Attach files</source>
        <translation>Dateien anhängen</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Sends the mail (Ctrl+Return)</source>
        <translation>Sendet die Mail (Strg+Eingabe)</translation>
    </message>
    <message>
        <source>Signatures</source>
        <translation>Signaturen</translation>
    </message>
    <message>
        <source>No signature</source>
        <translation>Keine Signatur</translation>
    </message>
    <message>
        <source>Signature %1</source>
        <translation>Signatur %1</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>  General  </source>
        <translation>  Allgemein  </translation>
    </message>
    <message>
        <source>Word Wrap</source>
        <translation>Zeilenumbruch</translation>
    </message>
    <message>
        <source>Editable Signature</source>
        <translation>Signatur bearbeitbar</translation>
    </message>
    <message>
        <source>Load in Tray</source>
        <translation>Im Infobereich starten</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>Klang</translation>
    </message>
    <message>
        <source>You can play your own voice after sending
successful by copy to the file Corvane.wav</source>
        <translation>Nach erfolgreichem Senden können Sie Ihren eigenen Klang
abspielen: kopieren Sie ihn in die Datei Corvane.wav</translation>
    </message>
    <message>
        <source>Priority</source>
        <translation>Priorität</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>Höchste</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>Niedrigste</translation>
    </message>
    <message>
        <source>Include Organization</source>
        <translation>Organisation angeben</translation>
    </message>
    <message>
        <source>Include X-Mailer</source>
        <translation>X-Mailer angeben</translation>
    </message>
    <message>
        <source>Include X-Header</source>
        <translation>X-Header angeben</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Schrift</translation>
    </message>
    <message>
        <source>Message and Signature font</source>
        <translation>Schrift der Nachricht und der Signaturen</translation>
    </message>
    <message>
        <source>  After Sending  </source>
        <translation>  Nach dem Senden  </translation>
    </message>
    <message>
        <source>Clear From</source>
        <translation>Von leeren</translation>
    </message>
    <message>
        <source>Clear Smtp</source>
        <translation>Smtp leeren</translation>
    </message>
    <message>
        <source>Clear To</source>
        <translation>An leeren</translation>
    </message>
    <message>
        <source>Clear Cc</source>
        <translation>Cc leeren</translation>
    </message>
    <message>
        <source>Clear Bcc</source>
        <translation>Bcc leeren</translation>
    </message>
    <message>
        <source>Clear Attachment</source>
        <translation>Anhänge leeren</translation>
    </message>
    <message>
        <source>Clear Subject</source>
        <translation>Betreff leeren</translation>
    </message>
    <message>
        <source>Clear Messages</source>
        <translation>Nachricht leeren</translation>
    </message>
    <message>
        <source>Clear Now</source>
        <translation>Jetzt leeren</translation>
    </message>
    <message>
        <source>  When Exit  </source>
        <translation>  Beim Beenden  </translation>
    </message>
    <message>
        <source>Save as default value for use next time</source>
        <translation>Als Vorgabe für den nächsten Start speichern</translation>
    </message>
    <message>
        <source>Save From</source>
        <translation>Von speichern</translation>
    </message>
    <message>
        <source>Save Smtp</source>
        <translation>Smtp speichern</translation>
    </message>
    <message>
        <source>Save To</source>
        <translation>An speichern</translation>
    </message>
    <message>
        <source>Save Cc</source>
        <translation>Cc speichern</translation>
    </message>
    <message>
        <source>Save Bcc</source>
        <translation>Bcc speichern</translation>
    </message>
    <message>
        <source>Save Attachment</source>
        <translation>Anhänge speichern</translation>
    </message>
    <message>
        <source>Save Subject</source>
        <translation>Betreff speichern</translation>
    </message>
    <message>
        <source>Save Messages</source>
        <translation>Nachricht speichern</translation>
    </message>
    <message>
        <source>Save Now</source>
        <translation>Jetzt speichern</translation>
    </message>
    <message>
        <source>&amp;Organization:</source>
        <translation>&amp;Organisation:</translation>
    </message>
    <message>
        <source>X-&amp;Mailer:</source>
        <translation>X-&amp;Mailer:</translation>
    </message>
    <message>
        <source>X-&amp;Header:</source>
        <translation>X-&amp;Header:</translation>
    </message>
    <message>
        <source>Addition header(s) for advance purpose</source>
        <translation>Zusätzliche Kopfzeilen für Fortgeschrittene</translation>
    </message>
    <message>
        <source>Keep sent mail</source>
        <translation>Gesendete behalten</translation>
    </message>
    <message>
        <source>A copy of each message sent, with its Bcc, in the Sent folder</source>
        <translation>Eine Kopie jeder gesendeten Nachricht, mit ihrem Bcc, im Ordner „Gesendet“</translation>
    </message>
    <message>
        <source>Open Sent folder</source>
        <translation>„Gesendet“ öffnen</translation>
    </message>
    <message>
        <source>Read receipt</source>
        <translation>Lesebestätigung</translation>
    </message>
    <message>
        <source>The recipient's mail program may confirm that the message was read</source>
        <translation>Das Mailprogramm des Empfängers kann bestätigen, dass die Nachricht gelesen wurde</translation>
    </message>
    <message>
        <source>Delivery report</source>
        <translation>Zustellbericht</translation>
    </message>
    <message>
        <source>Where the server offers it, a report when the message is delivered or cannot be</source>
        <translation>Wo der Server es anbietet, ein Bericht, wenn die Nachricht zugestellt wurde oder nicht zugestellt werden kann</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>  Brought to you by  </source>
        <translation>  Ein Programm von  </translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Send through this server?

%1

Its settings are kept for the next mails; Ctrl+Shift+S changes them.</source>
        <translation>Über diesen Server senden?

%1

Seine Einstellungen bleiben für die nächsten Mails; Strg+Umschalt+S ändert sie.</translation>
    </message>
    <message>
        <source>Canceled: Ready for your mail.</source>
        <translation>Abgebrochen: Bereit für Ihre Mail.</translation>
    </message>
    <message>
        <source>All files (*.*) (*)</source>
        <translation>Alle Dateien (*.*) (*)</translation>
    </message>
    <message>
        <source>Program files (*.exe,*.com,*.bat) (*.exe *.com *.bat)</source>
        <translation>Programmdateien (*.exe,*.com,*.bat) (*.exe *.com *.bat)</translation>
    </message>
    <message>
        <source>Text files (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)</source>
        <translation>Textdateien (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)</translation>
    </message>
    <message>
        <source>HTML files (*.html,*.htm) (*.htm*)</source>
        <translation>HTML-Dateien (*.html,*.htm) (*.htm*)</translation>
    </message>
    <message>
        <source>Zip files (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)</source>
        <translation>Archive (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)</translation>
    </message>
    <message>
        <source>Picture files (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)</source>
        <translation>Bilddateien (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)</translation>
    </message>
    <message>
        <source>Movie files (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)</source>
        <translation>Videodateien (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)</translation>
    </message>
    <message>
        <source>MP3 files (*.mp3,*.mp4) (*.mp3 *.mp4)</source>
        <translation>MP3-Dateien (*.mp3,*.mp4) (*.mp3 *.mp4)</translation>
    </message>
    <message>
        <source>Audio files (*.wav,*.mid,*.au,*.snd) (*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)</source>
        <translation>Audiodateien (*.wav,*.mid,*.au,*.snd) (*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)</translation>
    </message>
    <message>
        <source>Choose  File</source>
        <translation>Datei wählen</translation>
    </message>
    <message>
        <source>File %1 not found!</source>
        <translation>Datei %1 nicht gefunden!</translation>
    </message>
    <message>
        <source>Connecting %1 . . .</source>
        <translation>Verbinde mit %1 . . .</translation>
    </message>
    <message>
        <source>Error: %1</source>
        <translation>Fehler: %1</translation>
    </message>
    <message>
        <source>Successful: Ready for your mail.</source>
        <translation>Erfolgreich: Bereit für Ihre Mail.</translation>
    </message>
    <message>
        <source>Successful; the server offers no delivery reports, so none was asked for.</source>
        <translation>Erfolgreich; der Server bietet keine Zustellberichte an, daher wurde keiner angefordert.</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>Verbunden: %1</translation>
    </message>
    <message>
        <source>Error: %1 %2</source>
        <translation>Fehler: %1 %2</translation>
    </message>
    <message>
        <source>Start encoding %1 of %2 bytes.</source>
        <translation>Kodiere %1 mit %2 Bytes.</translation>
    </message>
    <message>
        <source>Finished encoding.</source>
        <translation>Kodieren beendet.</translation>
    </message>
    <message>
        <source>Connected: Sending message . . .</source>
        <translation>Verbunden: Sende Nachricht . . .</translation>
    </message>
    <message>
        <source>Connected: Sending message . . . %1 of %2 bytes.</source>
        <translation>Verbunden: Sende Nachricht . . . %1 von %2 Bytes.</translation>
    </message>
    <message>
        <source>Starting encryption with %1 . . .</source>
        <translation>Beginne Verschlüsselung mit %1 . . .</translation>
    </message>
    <message>
        <source>Signing in as %1 . . .</source>
        <translation>Melde an als %1 . . .</translation>
    </message>
    <message>
        <source>Successful; the copy in the Sent folder failed: %1.</source>
        <translation>Erfolgreich; die Kopie im Ordner „Gesendet“ ist fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>Saving a copy to Sent on %1 . . .</source>
        <translation>Speichere eine Kopie in „Gesendet“ auf %1 . . .</translation>
    </message>
    <message>
        <source>Successful; the copy to Sent was stopped.</source>
        <translation>Erfolgreich; die Kopie nach „Gesendet“ wurde angehalten.</translation>
    </message>
    <message>
        <source>Successful; the copy to Sent failed: %1</source>
        <translation>Erfolgreich; die Kopie nach „Gesendet“ ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Nothing has been kept in the Sent folder yet.</source>
        <translation>Im Ordner „Gesendet“ ist noch nichts aufbewahrt.</translation>
    </message>
    <message>
        <source>%1, no signing in</source>
        <translation>%1, ohne Anmeldung</translation>
    </message>
    <message>
        <source>%1, signing in as %2</source>
        <translation>%1, Anmeldung als %2</translation>
    </message>
    <message>
        <source>Type the mail server into Smtp (or your address into From) first, then open its settings.</source>
        <translation>Geben Sie zuerst den Mailserver in Smtp (oder Ihre Adresse in Von) ein und öffnen Sie dann seine Einstellungen.</translation>
    </message>
    <message>
        <source>The settings of %1 were not stored: %2.</source>
        <translation>Die Einstellungen von %1 wurden nicht gespeichert: %2.</translation>
    </message>
    <message>
        <source>Settings of %1 stored: %2.</source>
        <translation>Einstellungen von %1 gespeichert: %2.</translation>
    </message>
    <message>
        <source>Invalid port "%1" in Smtp: a port is a number from 1 to 65535.</source>
        <translation>Ungültiger Port „%1“ in Smtp: ein Port ist eine Zahl von 1 bis 65535.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not trusted: %2.</source>
        <translation>Dem Zertifikat von %1 wird nicht vertraut: %2.</translation>
    </message>
    <message>
        <source>The certificate of %1 is trusted now: send again.</source>
        <translation>Dem Zertifikat von %1 wird jetzt vertraut: bitte erneut senden.</translation>
    </message>
    <message>
        <source>%1 no longer accepts your earlier sign-in.</source>
        <translation>%1 nimmt Ihre frühere Anmeldung nicht mehr an.</translation>
    </message>
    <message>
        <source>Waiting for the sign-in on another device . . .</source>
        <translation>Warte auf die Anmeldung auf einem anderen Gerät . . .</translation>
    </message>
    <message>
        <source>The settings file was damaged and is kept as %1: histories, drafts, signatures and server settings start empty.</source>
        <translation>Die Einstellungsdatei war beschädigt und ist als %1 aufbewahrt: Verläufe, Entwürfe, Signaturen und Servereinstellungen beginnen leer.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>&amp;Ersetzen</translation>
    </message>
    <message>
        <source>&amp;Keep</source>
        <translation>&amp;Behalten</translation>
    </message>
    <message>
        <source>The mail link is malformed; left out: %1.</source>
        <translation>Der Mail-Link ist fehlerhaft; ausgelassen: %1.</translation>
    </message>
    <message>
        <source>Not a file to attach: %1.</source>
        <translation>Keine Datei zum Anhängen: %1.</translation>
    </message>
    <message>
        <source>To</source>
        <translation>An</translation>
    </message>
    <message>
        <source>Cc</source>
        <translation>Cc</translation>
    </message>
    <message>
        <source>Bcc</source>
        <translation>Bcc</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Betreff</translation>
    </message>
    <message>
        <source>the message text</source>
        <translation>den Nachrichtentext</translation>
    </message>
    <message>
        <source>The mail link brings its own %1, but something is written there already.

Replace it with the link's, or keep what is there?</source>
        <translation>Der Mail-Link bringt einen eigenen Inhalt für %1, aber dort steht schon etwas.

Mit dem des Links ersetzen oder das Vorhandene behalten?</translation>
    </message>
    <message>
        <source>No mail server found for %1: type it into Smtp.</source>
        <translation>Kein Mailserver für %1 gefunden: geben Sie ihn in Smtp ein.</translation>
    </message>
    <message>
        <source>Looking up the mail server for %1 . . .</source>
        <translation>Suche den Mailserver für %1 . . .</translation>
    </message>
    <message>
        <source>The sign-in is no longer valid (%1): send again to sign in anew.</source>
        <translation>Die Anmeldung gilt nicht mehr (%1): erneut senden, um sich neu anzumelden.</translation>
    </message>
    <message>
        <source>Not signed in: %1.</source>
        <translation>Nicht angemeldet: %1.</translation>
    </message>
    <message>
        <source>Signing in as %1 with %2 . . .</source>
        <translation>Melde an als %1 bei %2 . . .</translation>
    </message>
    <message>
        <source>Waiting for the sign-in in your browser . . .</source>
        <translation>Warte auf die Anmeldung in Ihrem Browser . . .</translation>
    </message>
</context>
<context>
    <name>TPasswordDialog</name>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Password for %1:</source>
        <translation>Passwort für %1:</translation>
    </message>
    <message>
        <source>&amp;Remember password</source>
        <translation>Passwort &amp;merken</translation>
    </message>
</context>
<context>
    <name>TServerSettingsDialog</name>
    <message>
        <source>Settings of the server for your address</source>
        <translation>Einstellungen des Servers für Ihre Adresse</translation>
    </message>
    <message>
        <source>Settings of %1</source>
        <translation>Einstellungen von %1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keines</translation>
    </message>
    <message>
        <source>Server settings</source>
        <translation>Servereinstellungen</translation>
    </message>
    <message>
        <source>STARTTLS: port 587 unless Smtp names one; SSL/TLS: port 465; None: port 25, no signing in</source>
        <translation>STARTTLS: Port 587, wenn Smtp keinen nennt; SSL/TLS: Port 465; None: Port 25, keine Anmeldung</translation>
    </message>
    <message>
        <source>Empty: send without signing in</source>
        <translation>Leer: ohne Anmeldung senden</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>OAuth2 in the browser</source>
        <translation>OAuth2 im Browser</translation>
    </message>
    <message>
        <source>OAuth2: you sign in at your provider's page in the browser, and Corvane keeps no password</source>
        <translation>OAuth2: Sie melden sich im Browser auf der Seite Ihres Anbieters an, und Corvane bewahrt kein Passwort auf</translation>
    </message>
    <message>
        <source>unchanged</source>
        <translation>unverändert</translation>
    </message>
    <message>
        <source>&amp;Remember password</source>
        <translation>Passwort &amp;merken</translation>
    </message>
    <message>
        <source>Kept in the desktop's keyring, never in Corvane's settings</source>
        <translation>Im Schlüsselbund des Desktops aufbewahrt, nie in Corvanes Einstellungen</translation>
    </message>
    <message>
        <source>the one Corvane carries</source>
        <translation>die von Corvane</translation>
    </message>
    <message>
        <source>The client ID your organisation registered for Corvane, if any</source>
        <translation>Die Client-ID, die Ihre Organisation für Corvane registriert hat, falls vorhanden</translation>
    </message>
    <message>
        <source>Microsoft 365: your organisation's tenant (a domain or ID)</source>
        <translation>Microsoft 365: der Mandant Ihrer Organisation (eine Domain oder ID)</translation>
    </message>
    <message>
        <source>Copy sent mail to the Sent folder over I&amp;MAP</source>
        <translation>Gesendete Mails per IMAP in den Ordner „Gesendet“ &amp;kopieren</translation>
    </message>
    <message>
        <source>STARTTLS: port 143 unless named; SSL/TLS: port 993</source>
        <translation>STARTTLS: Port 143, wenn keiner genannt ist; SSL/TLS: Port 993</translation>
    </message>
    <message>
        <source>&amp;Find settings</source>
        <translation>&amp;Einstellungen suchen</translation>
    </message>
    <message>
        <source>Type your address into From first</source>
        <translation>Geben Sie zuerst Ihre Adresse in Von ein</translation>
    </message>
    <message>
        <source>Look up the server for %1</source>
        <translation>Den Server für %1 suchen</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Testen</translation>
    </message>
    <message>
        <source>Connect and sign in with these settings, without sending mail</source>
        <translation>Mit diesen Einstellungen verbinden und anmelden, ohne eine Mail zu senden</translation>
    </message>
    <message>
        <source>What a test finds is shown here.</source>
        <translation>Was ein Test findet, steht hier.</translation>
    </message>
    <message>
        <source>&amp;Security:</source>
        <translation>&amp;Sicherheit:</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Sign in &amp;with:</source>
        <translation>Anmelden &amp;über:</translation>
    </message>
    <message>
        <source>OAuth2 client I&amp;D:</source>
        <translation>OAuth2-Client-I&amp;D:</translation>
    </message>
    <message>
        <source>Te&amp;nant:</source>
        <translation>Ma&amp;ndant:</translation>
    </message>
    <message>
        <source>IMAP ser&amp;ver:</source>
        <translation>IMAP-Ser&amp;ver:</translation>
    </message>
    <message>
        <source>IMAP s&amp;ecurity:</source>
        <translation>IMAP-Sicher&amp;heit:</translation>
    </message>
    <message>
        <source>Trusted certificate:</source>
        <translation>Vertrautes Zertifikat:</translation>
    </message>
    <message>
        <source>The lookup was stopped.</source>
        <translation>Die Suche wurde angehalten.</translation>
    </message>
    <message>
        <source>Found: %1</source>
        <translation>Gefunden: %1</translation>
    </message>
    <message>
        <source>When you send, you sign in at %1 in your browser once; Corvane keeps the sign-in in the desktop's keyring.</source>
        <translation>Beim Senden melden Sie sich einmal im Browser bei %1 an; Corvane bewahrt die Anmeldung im Schlüsselbund des Desktops auf.</translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation>Angehalten.</translation>
    </message>
    <message>
        <source>Stop &amp;finding</source>
        <translation>Suche b&amp;eenden</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Test beenden</translation>
    </message>
    <message>
        <source>Looking up the mail server for %1 . . .</source>
        <translation>Suche den Mailserver für %1 . . .</translation>
    </message>
</context>
<context>
    <name>TSignInDialog</name>
    <message>
        <source>Sign in to %1</source>
        <translation>Bei %1 anmelden</translation>
    </message>
    <message>
        <source>Sign in as %1 at %2.</source>
        <translation>Melden Sie sich als %1 bei %2 an.</translation>
    </message>
    <message>
        <source>Sign-in page</source>
        <translation>Anmeldeseite</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>

Your browser shows the sign-in page; Corvane goes on by itself once you are signed in. If no page came up, open this address:</source>
        <translation>

Ihr Browser zeigt die Anmeldeseite; Corvane macht von selbst weiter, sobald Sie angemeldet sind. Falls keine Seite erschienen ist, öffnen Sie diese Adresse:</translation>
    </message>
    <message>
        <source>

No browser could be opened here. Open this address on any device, enter the code below and sign in; Corvane goes on by itself:</source>
        <translation>

Hier ließ sich kein Browser öffnen. Öffnen Sie diese Adresse auf einem beliebigen Gerät, geben Sie den Code unten ein und melden Sie sich an; Corvane macht von selbst weiter:</translation>
    </message>
</context>
<context>
    <name>corvane::app::TMainForm</name>
    <message>
        <source>Ready for your mail . . .</source>
        <translation>Bereit für Ihre Mail . . .</translation>
    </message>
</context>
</TS>
