<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>LayerTexts</name>
    <message>
        <source>Failed to connect the mail server.</source>
        <translation>La connexion au serveur de messagerie a échoué.</translation>
    </message>
    <message>
        <source>Connection to the mail server was lost.</source>
        <translation>La connexion au serveur de messagerie a été perdue.</translation>
    </message>
    <message>
        <source>The mail server did not answer in time.</source>
        <translation>Le serveur de messagerie n'a pas répondu à temps.</translation>
    </message>
    <message>
        <source>The mail server sent an invalid reply.</source>
        <translation>Le serveur de messagerie a envoyé une réponse non valable.</translation>
    </message>
    <message>
        <source>The server did not confirm the message; it may have been delivered. Check before sending again.</source>
        <translation>Le serveur n'a pas confirmé le message ; il a peut-être été remis. Vérifiez avant de l'envoyer à nouveau.</translation>
    </message>
    <message>
        <source>There is not enough memory to compose the message.</source>
        <translation>Il n'y a pas assez de mémoire pour composer le message.</translation>
    </message>
    <message>
        <source>The temporary folder %1 cannot hold the message: %2.</source>
        <translation>Le dossier temporaire %1 ne peut pas contenir le message : %2.</translation>
    </message>
    <message>
        <source>The access token was refused.</source>
        <translation>Le jeton d'accès a été refusé.</translation>
    </message>
    <message>
        <source>This server takes no password: choose OAuth2 sign-in in the server settings.</source>
        <translation>Ce serveur n'accepte pas de mot de passe : choisissez la connexion OAuth2 dans les paramètres du serveur.</translation>
    </message>
    <message>
        <source>Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox.</source>
        <translation>Demandez à l'administrateur d'activer la connexion SMTP (SMTP AUTH) pour cette boîte aux lettres.</translation>
    </message>
    <message>
        <source>Create an app password in the Google account and use it in place of the password.</source>
        <translation>Créez un mot de passe d'application dans le compte Google et utilisez-le à la place du mot de passe.</translation>
    </message>
    <message>
        <source>: no such host.</source>
        <translation> : hôte inconnu.</translation>
    </message>
    <message>
        <source>: the name could not be looked up.</source>
        <translation> : le nom n'a pas pu être résolu.</translation>
    </message>
    <message>
        <source>: connection refused.</source>
        <translation> : connexion refusée.</translation>
    </message>
    <message>
        <source>: network unreachable.</source>
        <translation> : réseau inaccessible.</translation>
    </message>
    <message>
        <source>: host unreachable.</source>
        <translation> : hôte inaccessible.</translation>
    </message>
    <message>
        <source>: timed out.</source>
        <translation> : délai dépassé.</translation>
    </message>
    <message>
        <source>The IMAP server refused the sign-in.</source>
        <translation>Le serveur IMAP a refusé la connexion.</translation>
    </message>
    <message>
        <source>The IMAP server did not answer in time.</source>
        <translation>Le serveur IMAP n'a pas répondu à temps.</translation>
    </message>
    <message>
        <source>The IMAP server does not offer STARTTLS.</source>
        <translation>Le serveur IMAP ne propose pas STARTTLS.</translation>
    </message>
    <message>
        <source>The IMAP server did not list its folders.</source>
        <translation>Le serveur IMAP n'a pas listé ses dossiers.</translation>
    </message>
    <message>
        <source>The connection to the IMAP server broke off.</source>
        <translation>La connexion au serveur IMAP a été interrompue.</translation>
    </message>
    <message>
        <source>The IMAP server has no Sent folder.</source>
        <translation>Le serveur IMAP n'a pas de dossier « Envoyés ».</translation>
    </message>
    <message>
        <source>Encryption with the IMAP server failed.</source>
        <translation>Le chiffrement avec le serveur IMAP a échoué.</translation>
    </message>
    <message>
        <source>The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection.</source>
        <translation>La copie vers « Envoyés » demande SSL/TLS ou STARTTLS : la connexion ne passe jamais par une liaison non chiffrée.</translation>
    </message>
    <message>
        <source>The copy to Sent needs an IMAP server.</source>
        <translation>La copie vers « Envoyés » demande un serveur IMAP.</translation>
    </message>
    <message>
        <source>The copy to Sent needs a user name for the IMAP server.</source>
        <translation>La copie vers « Envoyés » demande un nom d'utilisateur pour le serveur IMAP.</translation>
    </message>
    <message>
        <source>The server's settings can be found with Ctrl+Shift+S.</source>
        <translation>Les paramètres du serveur peuvent être trouvés avec Ctrl+Maj+S.</translation>
    </message>
    <message>
        <source>Invalid address: %1</source>
        <translation>Adresse non valable : %1</translation>
    </message>
    <message>
        <source>The mail server cannot take the address &lt;%1&gt;.</source>
        <translation>Le serveur de messagerie ne peut pas accepter l'adresse &lt;%1&gt;.</translation>
    </message>
    <message>
        <source>The message is %1 bytes; the server takes at most %2.</source>
        <translation>Le message fait %1 octets ; le serveur en accepte au plus %2.</translation>
    </message>
    <message>
        <source>The attachments alone make the message %1 bytes; the server takes at most %2.</source>
        <translation>Les pièces jointes seules font %1 octets ; le serveur en accepte au plus %2.</translation>
    </message>
    <message>
        <source>Line %1 of the text holds a NUL character; remove it and send again.</source>
        <translation>La ligne %1 du texte contient un caractère NUL ; supprimez-le et envoyez à nouveau.</translation>
    </message>
    <message>
        <source>Line %1 of the signature holds a NUL character; remove it and send again.</source>
        <translation>La ligne %1 de la signature contient un caractère NUL ; supprimez-le et envoyez à nouveau.</translation>
    </message>
    <message>
        <source>Encryption with %1 could not be started.</source>
        <translation>Le chiffrement avec %1 n'a pas pu démarrer.</translation>
    </message>
    <message>
        <source>The certificate of %1 cannot be trusted: %2.</source>
        <translation>Le certificat de %1 ne peut pas être approuvé : %2.</translation>
    </message>
    <message>
        <source>The mail server %1 does not offer STARTTLS.</source>
        <translation>Le serveur de messagerie %1 ne propose pas STARTTLS.</translation>
    </message>
    <message>
        <source>The mail server %1 sent data before encryption started.</source>
        <translation>Le serveur de messagerie %1 a envoyé des données avant le début du chiffrement.</translation>
    </message>
    <message>
        <source>Signing in to %1 needs encryption: choose STARTTLS or SSL/TLS.</source>
        <translation>La connexion à %1 demande le chiffrement : choisissez STARTTLS ou SSL/TLS.</translation>
    </message>
    <message>
        <source>There is no access token for signing in to %1.</source>
        <translation>Il n'y a pas de jeton d'accès pour se connecter à %1.</translation>
    </message>
    <message>
        <source>The mail server %1 offers no OAuth2 sign-in (XOAUTH2, OAUTHBEARER).</source>
        <translation>Le serveur de messagerie %1 ne propose pas de connexion OAuth2 (XOAUTH2, OAUTHBEARER).</translation>
    </message>
    <message>
        <source>The mail server %1 offers no way of signing in that Corvane knows (PLAIN, LOGIN).</source>
        <translation>Le serveur de messagerie %1 ne propose aucune connexion que Corvane connaisse (PLAIN, LOGIN).</translation>
    </message>
    <message>
        <source>The access token was refused (%1).</source>
        <translation>Le jeton d'accès a été refusé (%1).</translation>
    </message>
    <message>
        <source>Signing in with OAuth2 needs the user name: type your address into the server's settings.</source>
        <translation>La connexion OAuth2 demande le nom d'utilisateur : tapez votre adresse dans les paramètres du serveur.</translation>
    </message>
    <message>
        <source>Corvane knows no OAuth2 sign-in for %1: OAuth2 works with the servers of the providers in docs/PROVIDERS.md that take it.</source>
        <translation>Corvane ne connaît pas de connexion OAuth2 pour %1 : OAuth2 fonctionne avec les serveurs des fournisseurs de docs/PROVIDERS.md qui l'acceptent.</translation>
    </message>
    <message>
        <source>Passwords are not remembered (no keyring: %1); Corvane keeps them until it ends.</source>
        <translation>Les mots de passe ne sont pas retenus (pas de trousseau : %1) ; Corvane les garde jusqu'à sa fermeture.</translation>
    </message>
    <message>
        <source>The IMAP server %1 was not found.</source>
        <translation>Le serveur IMAP %1 n'a pas été trouvé.</translation>
    </message>
    <message>
        <source>The IMAP server's address %1 cannot be used.</source>
        <translation>L'adresse %1 du serveur IMAP n'est pas utilisable.</translation>
    </message>
    <message>
        <source>The IMAP server's certificate is not trusted: %1.</source>
        <translation>Le certificat du serveur IMAP n'est pas approuvé : %1.</translation>
    </message>
    <message>
        <source>The IMAP server did not take the copy into "%1".</source>
        <translation>Le serveur IMAP n'a pas accepté la copie dans « %1 ».</translation>
    </message>
</context>
<context>
    <name>TCertificateDialog</name>
    <message>
        <source>Certificate of %1</source>
        <translation>Certificat de %1</translation>
    </message>
    <message>
        <source>

Subject: %1
Issuer: %2
Valid from %3 to %4</source>
        <translation>

Sujet : %1
Émetteur : %2
Valable du %3 au %4</translation>
    </message>
    <message>
        <source>

This is not the certificate you trusted for %1 before (SHA-256: %2). Trust it only if you know why it was replaced.</source>
        <translation>

Ce n'est pas le certificat auquel vous faisiez confiance pour %1 (SHA-256 : %2). Ne lui faites confiance que si vous savez pourquoi il a été remplacé.</translation>
    </message>
    <message>
        <source>

Trust it only if you know this is your server's certificate, for example by comparing the SHA-256 fingerprint with its administrator.</source>
        <translation>

Ne lui faites confiance que si vous savez qu'il s'agit du certificat de votre serveur, par exemple en comparant l'empreinte SHA-256 avec son administrateur.</translation>
    </message>
    <message>
        <source>Trust this certificate</source>
        <translation>Faire confiance à ce certificat</translation>
    </message>
    <message>
        <source>SHA-256:</source>
        <translation>SHA-256 :</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Send Mail</source>
        <translation>Envoyer</translation>
    </message>
    <message>
        <source>&amp;From:</source>
        <translation>&amp;De :</translation>
    </message>
    <message>
        <source>&amp;Smtp:</source>
        <translation>&amp;Smtp :</translation>
    </message>
    <message>
        <source>&amp;To:</source>
        <translation>&amp;À :</translation>
    </message>
    <message>
        <source>&amp;Cc:</source>
        <translation>&amp;Cc :</translation>
    </message>
    <message>
        <source>&amp;Bcc:</source>
        <translation>Cc&amp;i :</translation>
    </message>
    <message>
        <source>Sub&amp;ject:</source>
        <translation>&amp;Objet :</translation>
    </message>
    <message>
        <source>Type your email address here</source>
        <translation>Tapez votre adresse électronique ici</translation>
    </message>
    <message>
        <source>Your SMTP mail server</source>
        <translation>Votre serveur de messagerie SMTP</translation>
    </message>
    <message>
        <source>Settings of this server: encryption, user name, password (Ctrl+Shift+S)</source>
        <translation>Paramètres de ce serveur : chiffrement, nom d'utilisateur, mot de passe (Ctrl+Maj+S)</translation>
    </message>
    <message>
        <source>Also send another copy to these email</source>
        <translation>Envoyer aussi une copie à ces adresses</translation>
    </message>
    <message>
        <source>These email address won't show in email</source>
        <translation>Ces adresses n'apparaîtront pas dans le message</translation>
    </message>
    <message>
        <source>Click here to add attach file(s)</source>
        <translation>Cliquez ici pour joindre des fichiers</translation>
    </message>
    <message>
        <source>Press Delete button to remove file(s)</source>
        <translation>Appuyez sur Suppr pour retirer les fichiers</translation>
    </message>
    <message>
        <source>Type your message here</source>
        <translation>Tapez votre message ici</translation>
    </message>
    <message>
        <source>Choose your signature here</source>
        <translation>Choisissez votre signature ici</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Aucune</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Texte du message</translation>
    </message>
    <message>
        <source>Attachments</source>
        <translation>Pièces jointes</translation>
    </message>
    <message>
        <source>Insert or Ctrl+O adds files, Delete removes the selected ones</source>
        <translation>Inser ou Ctrl+O ajoute des fichiers, Suppr retire ceux qui sont sélectionnés</translation>
    </message>
    <message>
        <source>Attach files</source>
        <translation>Joindre des fichiers</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Envoyer</translation>
    </message>
    <message>
        <source>Sends the mail (Ctrl+Return)</source>
        <translation>Envoie le message (Ctrl+Entrée)</translation>
    </message>
    <message>
        <source>Signatures</source>
        <translation>Signatures</translation>
    </message>
    <message>
        <source>No signature</source>
        <translation>Aucune signature</translation>
    </message>
    <message>
        <source>Signature %1</source>
        <translation>Signature %1</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>  General  </source>
        <translation>  Général  </translation>
    </message>
    <message>
        <source>Word Wrap</source>
        <translation>Retour à la ligne</translation>
    </message>
    <message>
        <source>Editable Signature</source>
        <translation>Signature modifiable</translation>
    </message>
    <message>
        <source>Load in Tray</source>
        <translation>Démarrer dans la zone de notification</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>Son</translation>
    </message>
    <message>
        <source>You can play your own voice after sending
successful by copy to the file Corvane.wav</source>
        <translation>Vous pouvez jouer votre propre son après un envoi
réussi en le copiant dans le fichier Corvane.wav</translation>
    </message>
    <message>
        <source>Priority</source>
        <translation>Priorité</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>La plus haute</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Haute</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normale</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Basse</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>La plus basse</translation>
    </message>
    <message>
        <source>Include Organization</source>
        <translation>Indiquer l'organisation</translation>
    </message>
    <message>
        <source>Include X-Mailer</source>
        <translation>Indiquer X-Mailer</translation>
    </message>
    <message>
        <source>Include X-Header</source>
        <translation>Indiquer X-Header</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Police</translation>
    </message>
    <message>
        <source>Message and Signature font</source>
        <translation>Police du message et des signatures</translation>
    </message>
    <message>
        <source>  After Sending  </source>
        <translation>  Après l'envoi  </translation>
    </message>
    <message>
        <source>Clear From</source>
        <translation>Vider De</translation>
    </message>
    <message>
        <source>Clear Smtp</source>
        <translation>Vider Smtp</translation>
    </message>
    <message>
        <source>Clear To</source>
        <translation>Vider À</translation>
    </message>
    <message>
        <source>Clear Cc</source>
        <translation>Vider Cc</translation>
    </message>
    <message>
        <source>Clear Bcc</source>
        <translation>Vider Cci</translation>
    </message>
    <message>
        <source>Clear Attachment</source>
        <translation>Vider les pièces jointes</translation>
    </message>
    <message>
        <source>Clear Subject</source>
        <translation>Vider l'objet</translation>
    </message>
    <message>
        <source>Clear Messages</source>
        <translation>Vider le message</translation>
    </message>
    <message>
        <source>Clear Now</source>
        <translation>Vider</translation>
    </message>
    <message>
        <source>  When Exit  </source>
        <translation>  En quittant  </translation>
    </message>
    <message>
        <source>Save as default value for use next time</source>
        <translation>Enregistrer comme valeurs par défaut pour la prochaine fois</translation>
    </message>
    <message>
        <source>Save From</source>
        <translation>Garder De</translation>
    </message>
    <message>
        <source>Save Smtp</source>
        <translation>Garder Smtp</translation>
    </message>
    <message>
        <source>Save To</source>
        <translation>Garder À</translation>
    </message>
    <message>
        <source>Save Cc</source>
        <translation>Garder Cc</translation>
    </message>
    <message>
        <source>Save Bcc</source>
        <translation>Garder Cci</translation>
    </message>
    <message>
        <source>Save Attachment</source>
        <translation>Garder les pièces jointes</translation>
    </message>
    <message>
        <source>Save Subject</source>
        <translation>Garder l'objet</translation>
    </message>
    <message>
        <source>Save Messages</source>
        <translation>Garder le message</translation>
    </message>
    <message>
        <source>Save Now</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>&amp;Organization:</source>
        <translation>&amp;Organisation :</translation>
    </message>
    <message>
        <source>X-&amp;Mailer:</source>
        <translation>X-&amp;Mailer :</translation>
    </message>
    <message>
        <source>X-&amp;Header:</source>
        <translation>X-&amp;Header :</translation>
    </message>
    <message>
        <source>Addition header(s) for advance purpose</source>
        <translation>En-têtes supplémentaires pour un usage avancé</translation>
    </message>
    <message>
        <source>Keep sent mail</source>
        <translation>Garder les envoyés</translation>
    </message>
    <message>
        <source>A copy of each message sent, with its Bcc, in the Sent folder</source>
        <translation>Une copie de chaque message envoyé, avec son Cci, dans le dossier « Envoyés »</translation>
    </message>
    <message>
        <source>Open Sent folder</source>
        <translation>Ouvrir « Envoyés »</translation>
    </message>
    <message>
        <source>Read receipt</source>
        <translation>Accusé de lecture</translation>
    </message>
    <message>
        <source>The recipient's mail program may confirm that the message was read</source>
        <translation>Le logiciel de messagerie du destinataire peut confirmer que le message a été lu</translation>
    </message>
    <message>
        <source>Delivery report</source>
        <translation>Accusé de remise</translation>
    </message>
    <message>
        <source>Where the server offers it, a report when the message is delivered or cannot be</source>
        <translation>Si le serveur le propose, un rapport quand le message est remis ou ne peut pas l'être</translation>
    </message>
    <message>
        <source>About</source>
        <translation>À propos</translation>
    </message>
    <message>
        <source>  Brought to you by  </source>
        <translation>  Un programme de  </translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progression</translation>
    </message>
    <message>
        <source>Send through this server?

%1

Its settings are kept for the next mails; Ctrl+Shift+S changes them.</source>
        <translation>Envoyer par ce serveur ?

%1

Ses paramètres sont gardés pour les prochains messages ; Ctrl+Maj+S les modifie.</translation>
    </message>
    <message>
        <source>Canceled: Ready for your mail.</source>
        <translation>Annulé : prêt pour votre message.</translation>
    </message>
    <message>
        <source>All files (*.*) (*)</source>
        <translation>Tous les fichiers (*.*) (*)</translation>
    </message>
    <message>
        <source>Program files (*.exe,*.com,*.bat) (*.exe *.com *.bat)</source>
        <translation>Programmes (*.exe,*.com,*.bat) (*.exe *.com *.bat)</translation>
    </message>
    <message>
        <source>Text files (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)</source>
        <translation>Fichiers texte (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)</translation>
    </message>
    <message>
        <source>HTML files (*.html,*.htm) (*.htm*)</source>
        <translation>Fichiers HTML (*.html,*.htm) (*.htm*)</translation>
    </message>
    <message>
        <source>Zip files (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)</source>
        <translation>Archives (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)</translation>
    </message>
    <message>
        <source>Picture files (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)</source>
        <translation>Images (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)</translation>
    </message>
    <message>
        <source>Movie files (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)</source>
        <translation>Vidéos (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)</translation>
    </message>
    <message>
        <source>MP3 files (*.mp3,*.mp4) (*.mp3 *.mp4)</source>
        <translation>Fichiers MP3 (*.mp3,*.mp4) (*.mp3 *.mp4)</translation>
    </message>
    <message>
        <source>Audio files (*.wav,*.mid,*.au,*.snd) (*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)</source>
        <translation>Fichiers audio (*.wav,*.mid,*.au,*.snd) (*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)</translation>
    </message>
    <message>
        <source>Choose  File</source>
        <translation>Choisir un fichier</translation>
    </message>
    <message>
        <source>File %1 not found!</source>
        <translation>Fichier %1 introuvable !</translation>
    </message>
    <message>
        <source>Connecting %1 . . .</source>
        <translation>Connexion à %1 . . .</translation>
    </message>
    <message>
        <source>Error: %1</source>
        <translation>Erreur : %1</translation>
    </message>
    <message>
        <source>Successful: Ready for your mail.</source>
        <translation>Réussi : prêt pour votre message.</translation>
    </message>
    <message>
        <source>Successful; the server offers no delivery reports, so none was asked for.</source>
        <translation>Réussi ; le serveur ne propose pas d'accusés de remise, aucun n'a donc été demandé.</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>Connecté : %1</translation>
    </message>
    <message>
        <source>Error: %1 %2</source>
        <translation>Erreur : %1 %2</translation>
    </message>
    <message>
        <source>Start encoding %1 of %2 bytes.</source>
        <translation>Encodage de %1 de %2 octets.</translation>
    </message>
    <message>
        <source>Finished encoding.</source>
        <translation>Encodage terminé.</translation>
    </message>
    <message>
        <source>Connected: Sending message . . .</source>
        <translation>Connecté : envoi du message . . .</translation>
    </message>
    <message>
        <source>Connected: Sending message . . . %1 of %2 bytes.</source>
        <translation>Connecté : envoi du message . . . %1 sur %2 octets.</translation>
    </message>
    <message>
        <source>Starting encryption with %1 . . .</source>
        <translation>Début du chiffrement avec %1 . . .</translation>
    </message>
    <message>
        <source>Signing in as %1 . . .</source>
        <translation>Connexion en tant que %1 . . .</translation>
    </message>
    <message>
        <source>Successful; the copy in the Sent folder failed: %1.</source>
        <translation>Réussi ; la copie dans le dossier « Envoyés » a échoué : %1.</translation>
    </message>
    <message>
        <source>Saving a copy to Sent on %1 . . .</source>
        <translation>Enregistrement d'une copie dans « Envoyés » sur %1 . . .</translation>
    </message>
    <message>
        <source>Successful; the copy to Sent was stopped.</source>
        <translation>Réussi ; la copie vers « Envoyés » a été arrêtée.</translation>
    </message>
    <message>
        <source>Successful; the copy to Sent failed: %1</source>
        <translation>Réussi ; la copie vers « Envoyés » a échoué : %1</translation>
    </message>
    <message>
        <source>Nothing has been kept in the Sent folder yet.</source>
        <translation>Rien n'a encore été gardé dans le dossier « Envoyés ».</translation>
    </message>
    <message>
        <source>%1, no signing in</source>
        <translation>%1, sans connexion</translation>
    </message>
    <message>
        <source>%1, signing in as %2</source>
        <translation>%1, connexion en tant que %2</translation>
    </message>
    <message>
        <source>Type the mail server into Smtp (or your address into From) first, then open its settings.</source>
        <translation>Tapez d'abord le serveur de messagerie dans Smtp (ou votre adresse dans De), puis ouvrez ses paramètres.</translation>
    </message>
    <message>
        <source>The settings of %1 were not stored: %2.</source>
        <translation>Les paramètres de %1 n'ont pas été enregistrés : %2.</translation>
    </message>
    <message>
        <source>Settings of %1 stored: %2.</source>
        <translation>Paramètres de %1 enregistrés : %2.</translation>
    </message>
    <message>
        <source>Invalid port "%1" in Smtp: a port is a number from 1 to 65535.</source>
        <translation>Port « %1 » non valable dans Smtp : un port est un nombre de 1 à 65535.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not trusted: %2.</source>
        <translation>Le certificat de %1 n'est pas approuvé : %2.</translation>
    </message>
    <message>
        <source>The certificate of %1 is trusted now: send again.</source>
        <translation>Le certificat de %1 est maintenant approuvé : envoyez à nouveau.</translation>
    </message>
    <message>
        <source>%1 no longer accepts your earlier sign-in.</source>
        <translation>%1 n'accepte plus votre connexion précédente.</translation>
    </message>
    <message>
        <source>Waiting for the sign-in on another device . . .</source>
        <translation>En attente de la connexion sur un autre appareil . . .</translation>
    </message>
    <message>
        <source>The settings file was damaged and is kept as %1: histories, drafts, signatures and server settings start empty.</source>
        <translation>Le fichier de paramètres était endommagé et est conservé sous %1 : les historiques, brouillons, signatures et paramètres des serveurs repartent vides.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 et %2</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>&amp;Remplacer</translation>
    </message>
    <message>
        <source>&amp;Keep</source>
        <translation>&amp;Garder</translation>
    </message>
    <message>
        <source>The mail link is malformed; left out: %1.</source>
        <translation>Le lien de messagerie est mal formé ; laissé de côté : %1.</translation>
    </message>
    <message>
        <source>Not a file to attach: %1.</source>
        <translation>Ce n'est pas un fichier à joindre : %1.</translation>
    </message>
    <message>
        <source>To</source>
        <translation>À</translation>
    </message>
    <message>
        <source>Cc</source>
        <translation>Cc</translation>
    </message>
    <message>
        <source>Bcc</source>
        <translation>Cci</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Objet</translation>
    </message>
    <message>
        <source>the message text</source>
        <translation>le texte du message</translation>
    </message>
    <message>
        <source>The mail link brings its own %1, but something is written there already.

Replace it with the link's, or keep what is there?</source>
        <translation>Le lien de messagerie apporte sa propre valeur pour %1, mais quelque chose y est déjà écrit.

La remplacer par celle du lien, ou garder ce qui s'y trouve ?</translation>
    </message>
    <message>
        <source>No mail server found for %1: type it into Smtp.</source>
        <translation>Aucun serveur de messagerie trouvé pour %1 : tapez-le dans Smtp.</translation>
    </message>
    <message>
        <source>Looking up the mail server for %1 . . .</source>
        <translation>Recherche du serveur de messagerie pour %1 . . .</translation>
    </message>
    <message>
        <source>The sign-in is no longer valid (%1): send again to sign in anew.</source>
        <translation>La connexion n'est plus valable (%1) : envoyez à nouveau pour vous reconnecter.</translation>
    </message>
    <message>
        <source>Not signed in: %1.</source>
        <translation>Non connecté : %1.</translation>
    </message>
    <message>
        <source>Signing in as %1 with %2 . . .</source>
        <translation>Connexion en tant que %1 chez %2 . . .</translation>
    </message>
    <message>
        <source>Waiting for the sign-in in your browser . . .</source>
        <translation>En attente de la connexion dans votre navigateur . . .</translation>
    </message>
</context>
<context>
    <name>TPasswordDialog</name>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>Password for %1:</source>
        <translation>Mot de passe pour %1 :</translation>
    </message>
    <message>
        <source>&amp;Remember password</source>
        <translation>&amp;Retenir le mot de passe</translation>
    </message>
</context>
<context>
    <name>TServerSettingsDialog</name>
    <message>
        <source>Settings of the server for your address</source>
        <translation>Paramètres du serveur pour votre adresse</translation>
    </message>
    <message>
        <source>Settings of %1</source>
        <translation>Paramètres de %1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>aucun</translation>
    </message>
    <message>
        <source>Server settings</source>
        <translation>Paramètres du serveur</translation>
    </message>
    <message>
        <source>STARTTLS: port 587 unless Smtp names one; SSL/TLS: port 465; None: port 25, no signing in</source>
        <translation>STARTTLS : port 587 si Smtp n'en indique pas ; SSL/TLS : port 465 ; None : port 25, sans connexion</translation>
    </message>
    <message>
        <source>Empty: send without signing in</source>
        <translation>Vide : envoyer sans connexion</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>OAuth2 in the browser</source>
        <translation>OAuth2 dans le navigateur</translation>
    </message>
    <message>
        <source>OAuth2: you sign in at your provider's page in the browser, and Corvane keeps no password</source>
        <translation>OAuth2 : vous vous connectez sur la page de votre fournisseur dans le navigateur, et Corvane ne garde aucun mot de passe</translation>
    </message>
    <message>
        <source>unchanged</source>
        <translation>inchangé</translation>
    </message>
    <message>
        <source>&amp;Remember password</source>
        <translation>&amp;Retenir le mot de passe</translation>
    </message>
    <message>
        <source>Kept in the desktop's keyring, never in Corvane's settings</source>
        <translation>Gardé dans le trousseau du bureau, jamais dans les paramètres de Corvane</translation>
    </message>
    <message>
        <source>the one Corvane carries</source>
        <translation>celui de Corvane</translation>
    </message>
    <message>
        <source>The client ID your organisation registered for Corvane, if any</source>
        <translation>L'ID client que votre organisation a enregistré pour Corvane, s'il y en a un</translation>
    </message>
    <message>
        <source>Microsoft 365: your organisation's tenant (a domain or ID)</source>
        <translation>Microsoft 365 : le locataire de votre organisation (un domaine ou un ID)</translation>
    </message>
    <message>
        <source>Copy sent mail to the Sent folder over I&amp;MAP</source>
        <translation>&amp;Copier les messages envoyés dans « Envoyés » par IMAP</translation>
    </message>
    <message>
        <source>STARTTLS: port 143 unless named; SSL/TLS: port 993</source>
        <translation>STARTTLS : port 143 s'il n'est pas indiqué ; SSL/TLS : port 993</translation>
    </message>
    <message>
        <source>&amp;Find settings</source>
        <translation>&amp;Trouver les paramètres</translation>
    </message>
    <message>
        <source>Type your address into From first</source>
        <translation>Tapez d'abord votre adresse dans De</translation>
    </message>
    <message>
        <source>Look up the server for %1</source>
        <translation>Chercher le serveur pour %1</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>T&amp;ester</translation>
    </message>
    <message>
        <source>Connect and sign in with these settings, without sending mail</source>
        <translation>Se connecter et s'identifier avec ces paramètres, sans envoyer de message</translation>
    </message>
    <message>
        <source>What a test finds is shown here.</source>
        <translation>Ce qu'un essai trouve s'affiche ici.</translation>
    </message>
    <message>
        <source>&amp;Security:</source>
        <translation>&amp;Sécurité :</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>Nom d'&amp;utilisateur :</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>Mot de &amp;passe :</translation>
    </message>
    <message>
        <source>Sign in &amp;with:</source>
        <translation>Connexion a&amp;vec :</translation>
    </message>
    <message>
        <source>OAuth2 client I&amp;D:</source>
        <translation>I&amp;D client OAuth2 :</translation>
    </message>
    <message>
        <source>Te&amp;nant:</source>
        <translation>&amp;Locataire :</translation>
    </message>
    <message>
        <source>IMAP ser&amp;ver:</source>
        <translation>Serveur I&amp;MAP :</translation>
    </message>
    <message>
        <source>IMAP s&amp;ecurity:</source>
        <translation>S&amp;écurité IMAP :</translation>
    </message>
    <message>
        <source>Trusted certificate:</source>
        <translation>Certificat approuvé :</translation>
    </message>
    <message>
        <source>The lookup was stopped.</source>
        <translation>La recherche a été arrêtée.</translation>
    </message>
    <message>
        <source>Found: %1</source>
        <translation>Trouvé : %1</translation>
    </message>
    <message>
        <source>When you send, you sign in at %1 in your browser once; Corvane keeps the sign-in in the desktop's keyring.</source>
        <translation>À l'envoi, vous vous connectez une fois à %1 dans votre navigateur ; Corvane garde la connexion dans le trousseau du bureau.</translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation>Arrêté.</translation>
    </message>
    <message>
        <source>Stop &amp;finding</source>
        <translation>&amp;Terminer la recherche</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>Arrêter l'&amp;essai</translation>
    </message>
    <message>
        <source>Looking up the mail server for %1 . . .</source>
        <translation>Recherche du serveur de messagerie pour %1 . . .</translation>
    </message>
</context>
<context>
    <name>TSignInDialog</name>
    <message>
        <source>Sign in to %1</source>
        <translation>Connexion à %1</translation>
    </message>
    <message>
        <source>Sign in as %1 at %2.</source>
        <translation>Connectez-vous en tant que %1 sur %2.</translation>
    </message>
    <message>
        <source>Sign-in page</source>
        <translation>Page de connexion</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>

Your browser shows the sign-in page; Corvane goes on by itself once you are signed in. If no page came up, open this address:</source>
        <translation>

Votre navigateur affiche la page de connexion ; Corvane continue de lui-même une fois que vous êtes connecté. Si aucune page ne s'est ouverte, ouvrez cette adresse :</translation>
    </message>
    <message>
        <source>

No browser could be opened here. Open this address on any device, enter the code below and sign in; Corvane goes on by itself:</source>
        <translation>

Aucun navigateur n'a pu être ouvert ici. Ouvrez cette adresse sur n'importe quel appareil, saisissez le code ci-dessous et connectez-vous ; Corvane continue de lui-même :</translation>
    </message>
</context>
<context>
    <name>corvane::app::TMainForm</name>
    <message>
        <source>Ready for your mail . . .</source>
        <translation>Prêt pour votre message . . .</translation>
    </message>
</context>
</TS>
