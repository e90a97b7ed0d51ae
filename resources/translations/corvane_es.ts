<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>LayerTexts</name>
    <message>
        <source>Failed to connect the mail server.</source>
        <translation>No se pudo conectar con el servidor de correo.</translation>
    </message>
    <message>
        <source>Connection to the mail server was lost.</source>
        <translation>Se perdió la conexión con el servidor de correo.</translation>
    </message>
    <message>
        <source>The mail server did not answer in time.</source>
        <translation>El servidor de correo no respondió a tiempo.</translation>
    </message>
    <message>
        <source>The mail server sent an invalid reply.</source>
        <translation>El servidor de correo envió una respuesta no válida.</translation>
    </message>
    <message>
        <source>The server did not confirm the message; it may have been delivered. Check before sending again.</source>
        <translation>El servidor no confirmó el mensaje; puede que se haya entregado. Compruébelo antes de volver a enviarlo.</translation>
    </message>
    <message>
        <source>There is not enough memory to compose the message.</source>
        <translation>No hay memoria suficiente para componer el mensaje.</translation>
    </message>
    <message>
        <source>The temporary folder %1 cannot hold the message: %2.</source>
        <translation>La carpeta temporal %1 no puede contener el mensaje: %2.</translation>
    </message>
    <message>
        <source>The access token was refused.</source>
        <translation>El token de acceso fue rechazado.</translation>
    </message>
    <message>
        <source>This server takes no password: choose OAuth2 sign-in in the server settings.</source>
        <translation>Este servidor no acepta contraseñas: elija el inicio de sesión OAuth2 en los ajustes del servidor.</translation>
    </message>
    <message>
        <source>Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox.</source>
        <translation>Pida al administrador que active el inicio de sesión SMTP (SMTP AUTH) para este buzón.</translation>
    </message>
    <message>
        <source>Create an app password in the Google account and use it in place of the password.</source>
        <translation>Cree una contraseña de aplicación en la cuenta de Google y úsela en lugar de la contraseña.</translation>
    </message>
    <message>
        <source>: no such host.</source>
        <translation>: el host no existe.</translation>
    </message>
    <message>
        <source>: the name could not be looked up.</source>
        <translation>: no se pudo resolver el nombre.</translation>
    </message>
    <message>
        <source>: connection refused.</source>
        <translation>: conexión rechazada.</translation>
    </message>
    <message>
        <source>: network unreachable.</source>
        <translation>: red inaccesible.</translation>
    </message>
    <message>
        <source>: host unreachable.</source>
        <translation>: host inaccesible.</translation>
    </message>
    <message>
        <source>: timed out.</source>
        <translation>: tiempo agotado.</translation>
    </message>
    <message>
        <source>The IMAP server refused the sign-in.</source>
        <translation>El servidor IMAP rechazó el inicio de sesión.</translation>
    </message>
    <message>
        <source>The IMAP server did not answer in time.</source>
        <translation>El servidor IMAP no respondió a tiempo.</translation>
    </message>
    <message>
        <source>The IMAP server does not offer STARTTLS.</source>
        <translation>El servidor IMAP no ofrece STARTTLS.</translation>
    </message>
    <message>
        <source>The IMAP server did not list its folders.</source>
        <translation>El servidor IMAP no mostró sus carpetas.</translation>
    </message>
    <message>
        <source>The connection to the IMAP server broke off.</source>
        <translation>La conexión con el servidor IMAP se interrumpió.</translation>
    </message>
    <message>
        <source>The IMAP server has no Sent folder.</source>
        <translation>El servidor IMAP no tiene carpeta «Enviados».</translation>
    </message>
    <message>
        <source>Encryption with the IMAP server failed.</source>
        <translation>El cifrado con el servidor IMAP falló.</translation>
    </message>
    <message>
        <source>The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection.</source>
        <translation>La copia a «Enviados» necesita SSL/TLS o STARTTLS: el inicio de sesión nunca pasa por una conexión sin cifrar.</translation>
    </message>
    <message>
        <source>The copy to Sent needs an IMAP server.</source>
        <translation>La copia a «Enviados» necesita un servidor IMAP.</translation>
    </message>
    <message>
        <source>The copy to Sent needs a user name for the IMAP server.</source>
        <translation>La copia a «Enviados» necesita un nombre de usuario para el servidor IMAP.</translation>
    </message>
    <message>
        <source>The server's settings can be found with Ctrl+Shift+S.</source>
        <translation>Los ajustes del servidor se pueden buscar con Ctrl+Mayús+S.</translation>
    </message>
    <message>
        <source>Invalid address: %1</source>
        <translation>Dirección no válida: %1</translation>
    </message>
    <message>
        <source>The mail server cannot take the address &lt;%1&gt;.</source>
        <translation>El servidor de correo no puede aceptar la dirección &lt;%1&gt;.</translation>
    </message>
    <message>
        <source>The message is %1 bytes; the server takes at most %2.</source>
        <translation>El mensaje tiene %1 bytes; el servidor acepta como máximo %2.</translation>
    </message>
    <message>
        <source>The attachments alone make the message %1 bytes; the server takes at most %2.</source>
        <translation>Solo los adjuntos ya suman %1 bytes; el servidor acepta como máximo %2.</translation>
    </message>
    <message>
        <source>Line %1 of the text holds a NUL character; remove it and send again.</source>
        <translation>La línea %1 del texto contiene un carácter NUL; quítelo y vuelva a enviar.</translation>
    </message>
    <message>
        <source>Line %1 of the signature holds a NUL character; remove it and send again.</source>
        <translation>La línea %1 de la firma contiene un carácter NUL; quítelo y vuelva a enviar.</translation>
    </message>
    <message>
        <source>Encryption with %1 could not be started.</source>
        <translation>No se pudo iniciar el cifrado con %1.</translation>
    </message>
    <message>
        <source>The certificate of %1 cannot be trusted: %2.</source>
        <translation>No se puede confiar en el certificado de %1: %2.</translation>
    </message>
    <message>
        <source>The mail server %1 does not offer STARTTLS.</source>
        <translation>El servidor de correo %1 no ofrece STARTTLS.</translation>
    </message>
    <message>
        <source>The mail server %1 sent data before encryption started.</source>
        <translation>El servidor de correo %1 envió datos antes de que empezara el cifrado.</translation>
    </message>
    <message>
        <source>Signing in to %1 needs encryption: choose STARTTLS or SSL/TLS.</source>
        <translation>Iniciar sesión en %1 necesita cifrado: elija STARTTLS o SSL/TLS.</translation>
    </message>
    <message>
        <source>There is no access token for signing in to %1.</source>
        <translation>No hay token de acceso para iniciar sesión en %1.</translation>
    </message>
    <message>
        <source>The mail server %1 offers no OAuth2 sign-in (XOAUTH2, OAUTHBEARER).</source>
        <translation>El servidor de correo %1 no ofrece inicio de sesión OAuth2 (XOAUTH2, OAUTHBEARER).</translation>
    </message>
    <message>
        <source>The mail server %1 offers no way of signing in that Corvane knows (PLAIN, LOGIN).</source>
        <translation>El servidor de correo %1 no ofrece ningún inicio de sesión que Corvane conozca (PLAIN, LOGIN).</translation>
    </message>
    <message>
        <source>The access token was refused (%1).</source>
        <translation>El token de acceso fue rechazado (%1).</translation>
    </message>
    <message>
        <source>Signing in with OAuth2 needs the user name: type your address into the server's settings.</source>
        <translation>Iniciar sesión con OAuth2 necesita el nombre de usuario: escriba su dirección en los ajustes del servidor.</translation>
    </message>
    <message>
        <source>Corvane knows no OAuth2 sign-in for %1: OAuth2 works with the servers of the providers in docs/PROVIDERS.md that take it.</source>
        <translation>Corvane no conoce ningún inicio de sesión OAuth2 para %1: OAuth2 funciona con los servidores de los proveedores de docs/PROVIDERS.md que lo aceptan.</translation>
    </message>
    <message>
        <source>Passwords are not remembered (no keyring: %1); Corvane keeps them until it ends.</source>
        <translation>Las contraseñas no se recuerdan (no hay llavero: %1); Corvane las guarda hasta que se cierre.</translation>
    </message>
    <message>
        <source>The IMAP server %1 was not found.</source>
        <translation>No se encontró el servidor IMAP %1.</translation>
    </message>
    <message>
        <source>The IMAP server's address %1 cannot be used.</source>
        <translation>La dirección %1 del servidor IMAP no se puede usar.</translation>
    </message>
    <message>
        <source>The IMAP server's certificate is not trusted: %1.</source>
        <translation>El certificado del servidor IMAP no es de confianza: %1.</translation>
    </message>
    <message>
        <source>The IMAP server did not take the copy into "%1".</source>
        <translation>El servidor IMAP no aceptó la copia en «%1».</translation>
    </message>
</context>
<context>
    <name>TCertificateDialog</name>
    <message>
        <source>Certificate of %1</source>
        <translation>Certificado de %1</translation>
    </message>
    <message>
        <source>

Subject: %1
Issuer: %2
Valid from %3 to %4</source>
        <translation>

Titular: %1
Emisor: %2
Válido del %3 al %4</translation>
    </message>
    <message>
        <source>

This is not the certificate you trusted for %1 before (SHA-256: %2). Trust it only if you know why it was replaced.</source>
        <translation>

No es el certificado en el que confiaba antes para %1 (SHA-256: %2). Confíe en él solo si sabe por qué se ha sustituido.</translation>
    </message>
    <message>
        <source>

Trust it only if you know this is your server's certificate, for example by comparing the SHA-256 fingerprint with its administrator.</source>
        <translation>

Confíe en él solo si sabe que es el certificado de su servidor, por ejemplo comparando la huella SHA-256 con su administrador.</translation>
    </message>
    <message>
        <source>Trust this certificate</source>
        <translation>Confiar en este certificado</translation>
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
        <translation>Enviar correo</translation>
    </message>
    <message>
        <source>&amp;From:</source>
        <translation>&amp;De:</translation>
    </message>
    <message>
        <source>&amp;Smtp:</source>
        <translation>&amp;Smtp:</translation>
    </message>
    <message>
        <source>&amp;To:</source>
        <translation>&amp;Para:</translation>
    </message>
    <message>
        <source>&amp;Cc:</source>
        <translation>&amp;CC:</translation>
    </message>
    <message>
        <source>&amp;Bcc:</source>
        <translation>CC&amp;O:</translation>
    </message>
    <message>
        <source>Sub&amp;ject:</source>
        <translation>&amp;Asunto:</translation>
    </message>
    <message>
        <source>Type your email address here</source>
        <translation>Escriba aquí su dirección de correo</translation>
    </message>
    <message>
        <source>Your SMTP mail server</source>
        <translation>Su servidor de correo SMTP</translation>
    </message>
    <message>
        <source>Settings of this server: encryption, user name, password (Ctrl+Shift+S)</source>
        <translation>Ajustes de este servidor: cifrado, nombre de usuario, contraseña (Ctrl+Mayús+S)</translation>
    </message>
    <message>
        <source>Also send another copy to these email</source>
        <translation>Enviar también una copia a estas direcciones</translation>
    </message>
    <message>
        <source>These email address won't show in email</source>
        <translation>Estas direcciones no aparecerán en el correo</translation>
    </message>
    <message>
        <source>Click here to add attach file(s)</source>
        <translation>Pulse aquí para adjuntar archivos</translation>
    </message>
    <message>
        <source>Press Delete button to remove file(s)</source>
        <translation>Pulse Supr para quitar los archivos</translation>
    </message>
    <message>
        <source>Type your message here</source>
        <translation>Escriba aquí su mensaje</translation>
    </message>
    <message>
        <source>Choose your signature here</source>
        <translation>Elija aquí su firma</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Ninguna</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Texto del mensaje</translation>
    </message>
    <message>
        <source>Attachments</source>
        <translation>Adjuntos</translation>
    </message>
    <message>
        <source>Insert or Ctrl+O adds files, Delete removes the selected ones</source>
        <translation>Insert o Ctrl+O añade archivos, Supr quita los seleccionados</translation>
    </message>
    <message>
        <source>Attach files</source>
        <translation>Adjuntar archivos</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Enviar</translation>
    </message>
    <message>
        <source>Sends the mail (Ctrl+Return)</source>
        <translation>Envía el correo (Ctrl+Intro)</translation>
    </message>
    <message>
        <source>Signatures</source>
        <translation>Firmas</translation>
    </message>
    <message>
        <source>No signature</source>
        <translation>Sin firma</translation>
    </message>
    <message>
        <source>Signature %1</source>
        <translation>Firma %1</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Opciones</translation>
    </message>
    <message>
        <source>  General  </source>
        <translation>  General  </translation>
    </message>
    <message>
        <source>Word Wrap</source>
        <translation>Ajuste de línea</translation>
    </message>
    <message>
        <source>Editable Signature</source>
        <translation>Firma editable</translation>
    </message>
    <message>
        <source>Load in Tray</source>
        <translation>Iniciar en la bandeja</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>Sonido</translation>
    </message>
    <message>
        <source>You can play your own voice after sending
successful by copy to the file Corvane.wav</source>
        <translation>Puede reproducir su propio sonido tras un envío
correcto copiándolo en el archivo Corvane.wav</translation>
    </message>
    <message>
        <source>Priority</source>
        <translation>Prioridad</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>Máxima</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Alta</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Baja</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>Mínima</translation>
    </message>
    <message>
        <source>Include Organization</source>
        <translation>Incluir organización</translation>
    </message>
    <message>
        <source>Include X-Mailer</source>
        <translation>Incluir X-Mailer</translation>
    </message>
    <message>
        <source>Include X-Header</source>
        <translation>Incluir X-Header</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Fuente</translation>
    </message>
    <message>
        <source>Message and Signature font</source>
        <translation>Fuente del mensaje y de las firmas</translation>
    </message>
    <message>
        <source>  After Sending  </source>
        <translation>  Tras el envío  </translation>
    </message>
    <message>
        <source>Clear From</source>
        <translation>Vaciar De</translation>
    </message>
    <message>
        <source>Clear Smtp</source>
        <translation>Vaciar Smtp</translation>
    </message>
    <message>
        <source>Clear To</source>
        <translation>Vaciar Para</translation>
    </message>
    <message>
        <source>Clear Cc</source>
        <translation>Vaciar CC</translation>
    </message>
    <message>
        <source>Clear Bcc</source>
        <translation>Vaciar CCO</translation>
    </message>
    <message>
        <source>Clear Attachment</source>
        <translation>Vaciar adjuntos</translation>
    </message>
    <message>
        <source>Clear Subject</source>
        <translation>Vaciar asunto</translation>
    </message>
    <message>
        <source>Clear Messages</source>
        <translation>Vaciar mensaje</translation>
    </message>
    <message>
        <source>Clear Now</source>
        <translation>Vaciar ya</translation>
    </message>
    <message>
        <source>  When Exit  </source>
        <translation>  Al salir  </translation>
    </message>
    <message>
        <source>Save as default value for use next time</source>
        <translation>Guardar como valores predeterminados para la próxima vez</translation>
    </message>
    <message>
        <source>Save From</source>
        <translation>Guardar De</translation>
    </message>
    <message>
        <source>Save Smtp</source>
        <translation>Guardar Smtp</translation>
    </message>
    <message>
        <source>Save To</source>
        <translation>Guardar Para</translation>
    </message>
    <message>
        <source>Save Cc</source>
        <translation>Guardar CC</translation>
    </message>
    <message>
        <source>Save Bcc</source>
        <translation>Guardar CCO</translation>
    </message>
    <message>
        <source>Save Attachment</source>
        <translation>Guardar adjuntos</translation>
    </message>
    <message>
        <source>Save Subject</source>
        <translation>Guardar asunto</translation>
    </message>
    <message>
        <source>Save Messages</source>
        <translation>Guardar mensaje</translation>
    </message>
    <message>
        <source>Save Now</source>
        <translation>Guardar ya</translation>
    </message>
    <message>
        <source>&amp;Organization:</source>
        <translation>&amp;Organización:</translation>
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
        <translation>Cabeceras adicionales para uso avanzado</translation>
    </message>
    <message>
        <source>Keep sent mail</source>
        <translation>Guardar enviados</translation>
    </message>
    <message>
        <source>A copy of each message sent, with its Bcc, in the Sent folder</source>
        <translation>Una copia de cada mensaje enviado, con su CCO, en la carpeta «Enviados»</translation>
    </message>
    <message>
        <source>Open Sent folder</source>
        <translation>Abrir «Enviados»</translation>
    </message>
    <message>
        <source>Read receipt</source>
        <translation>Confirmación de lectura</translation>
    </message>
    <message>
        <source>The recipient's mail program may confirm that the message was read</source>
        <translation>El programa de correo del destinatario puede confirmar que el mensaje se ha leído</translation>
    </message>
    <message>
        <source>Delivery report</source>
        <translation>Informe de entrega</translation>
    </message>
    <message>
        <source>Where the server offers it, a report when the message is delivered or cannot be</source>
        <translation>Si el servidor lo ofrece, un informe cuando el mensaje se entrega o no se puede entregar</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Acerca de</translation>
    </message>
    <message>
        <source>  Brought to you by  </source>
        <translation>  Un programa de  </translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progreso</translation>
    </message>
    <message>
        <source>Send through this server?

%1

Its settings are kept for the next mails; Ctrl+Shift+S changes them.</source>
        <translation>¿Enviar a través de este servidor?

%1

Sus ajustes se guardan para los próximos correos; Ctrl+Mayús+S los cambia.</translation>
    </message>
    <message>
        <source>Canceled: Ready for your mail.</source>
        <translation>Cancelado: listo para su correo.</translation>
    </message>
    <message>
        <source>All files (*.*) (*)</source>
        <translation>Todos los archivos (*.*) (*)</translation>
    </message>
    <message>
        <source>Program files (*.exe,*.com,*.bat) (*.exe *.com *.bat)</source>
        <translation>Programas (*.exe,*.com,*.bat) (*.exe *.com *.bat)</translation>
    </message>
    <message>
        <source>Text files (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)</source>
        <translation>Archivos de texto (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)</translation>
    </message>
    <message>
        <source>HTML files (*.html,*.htm) (*.htm*)</source>
        <translation>Archivos HTML (*.html,*.htm) (*.htm*)</translation>
    </message>
    <message>
        <source>Zip files (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)</source>
        <translation>Archivos comprimidos (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)</translation>
    </message>
    <message>
        <source>Picture files (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)</source>
        <translation>Imágenes (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)</translation>
    </message>
    <message>
        <source>Movie files (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)</source>
        <translation>Vídeos (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)</translation>
    </message>
    <message>
        <source>MP3 files (*.mp3,*.mp4) (*.mp3 *.mp4)</source>
        <translation>Archivos MP3 (*.mp3,*.mp4) (*.mp3 *.mp4)</translation>
    </message>
    <message>
        <source>Audio files (*.wav,*.mid,*.au,*.snd) (*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)</source>
        <translation>Archivos de audio (*.wav,*.mid,*.au,*.snd) (*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)</translation>
    </message>
    <message>
        <source>Choose  File</source>
        <translation>Elegir archivo</translation>
    </message>
    <message>
        <source>File %1 not found!</source>
        <translation>¡No se encuentra el archivo %1!</translation>
    </message>
    <message>
        <source>Connecting %1 . . .</source>
        <translation>Conectando con %1 . . .</translation>
    </message>
    <message>
        <source>Error: %1</source>
        <translation>Error: %1</translation>
    </message>
    <message>
        <source>Successful: Ready for your mail.</source>
        <translation>Correcto: listo para su correo.</translation>
    </message>
    <message>
        <source>Successful; the server offers no delivery reports, so none was asked for.</source>
        <translation>Correcto; el servidor no ofrece informes de entrega, así que no se ha pedido ninguno.</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>Conectado: %1</translation>
    </message>
    <message>
        <source>Error: %1 %2</source>
        <translation>Error: %1 %2</translation>
    </message>
    <message>
        <source>Start encoding %1 of %2 bytes.</source>
        <translation>Codificando %1 de %2 bytes.</translation>
    </message>
    <message>
        <source>Finished encoding.</source>
        <translation>Codificación terminada.</translation>
    </message>
    <message>
        <source>Connected: Sending message . . .</source>
        <translation>Conectado: enviando mensaje . . .</translation>
    </message>
    <message>
        <source>Connected: Sending message . . . %1 of %2 bytes.</source>
        <translation>Conectado: enviando mensaje . . . %1 de %2 bytes.</translation>
    </message>
    <message>
        <source>Starting encryption with %1 . . .</source>
        <translation>Iniciando el cifrado con %1 . . .</translation>
    </message>
    <message>
        <source>Signing in as %1 . . .</source>
        <translation>Iniciando sesión como %1 . . .</translation>
    </message>
    <message>
        <source>Successful; the copy in the Sent folder failed: %1.</source>
        <translation>Correcto; la copia en la carpeta «Enviados» ha fallado: %1.</translation>
    </message>
    <message>
        <source>Saving a copy to Sent on %1 . . .</source>
        <translation>Guardando una copia en «Enviados» en %1 . . .</translation>
    </message>
    <message>
        <source>Successful; the copy to Sent was stopped.</source>
        <translation>Correcto; la copia a «Enviados» se ha detenido.</translation>
    </message>
    <message>
        <source>Successful; the copy to Sent failed: %1</source>
        <translation>Correcto; la copia a «Enviados» ha fallado: %1</translation>
    </message>
    <message>
        <source>Nothing has been kept in the Sent folder yet.</source>
        <translation>Aún no se ha guardado nada en la carpeta «Enviados».</translation>
    </message>
    <message>
        <source>%1, no signing in</source>
        <translation>%1, sin iniciar sesión</translation>
    </message>
    <message>
        <source>%1, signing in as %2</source>
        <translation>%1, iniciando sesión como %2</translation>
    </message>
    <message>
        <source>Type the mail server into Smtp (or your address into From) first, then open its settings.</source>
        <translation>Escriba primero el servidor de correo en Smtp (o su dirección en De) y después abra sus ajustes.</translation>
    </message>
    <message>
        <source>The settings of %1 were not stored: %2.</source>
        <translation>Los ajustes de %1 no se han guardado: %2.</translation>
    </message>
    <message>
        <source>Settings of %1 stored: %2.</source>
        <translation>Ajustes de %1 guardados: %2.</translation>
    </message>
    <message>
        <source>Invalid port "%1" in Smtp: a port is a number from 1 to 65535.</source>
        <translation>Puerto «%1» no válido en Smtp: un puerto es un número de 1 a 65535.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not trusted: %2.</source>
        <translation>El certificado de %1 no es de confianza: %2.</translation>
    </message>
    <message>
        <source>The certificate of %1 is trusted now: send again.</source>
        <translation>El certificado de %1 ya es de confianza: vuelva a enviar.</translation>
    </message>
    <message>
        <source>%1 no longer accepts your earlier sign-in.</source>
        <translation>%1 ya no acepta su inicio de sesión anterior.</translation>
    </message>
    <message>
        <source>Waiting for the sign-in on another device . . .</source>
        <translation>Esperando el inicio de sesión en otro dispositivo . . .</translation>
    </message>
    <message>
        <source>The settings file was damaged and is kept as %1: histories, drafts, signatures and server settings start empty.</source>
        <translation>El archivo de ajustes estaba dañado y se conserva como %1: los historiales, borradores, firmas y ajustes de servidores empiezan vacíos.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 y %2</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>&amp;Reemplazar</translation>
    </message>
    <message>
        <source>&amp;Keep</source>
        <translation>&amp;Mantener</translation>
    </message>
    <message>
        <source>The mail link is malformed; left out: %1.</source>
        <translation>El enlace de correo está mal formado; se ha omitido: %1.</translation>
    </message>
    <message>
        <source>Not a file to attach: %1.</source>
        <translation>No es un archivo para adjuntar: %1.</translation>
    </message>
    <message>
        <source>To</source>
        <translation>Para</translation>
    </message>
    <message>
        <source>Cc</source>
        <translation>CC</translation>
    </message>
    <message>
        <source>Bcc</source>
        <translation>CCO</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Asunto</translation>
    </message>
    <message>
        <source>the message text</source>
        <translation>el texto del mensaje</translation>
    </message>
    <message>
        <source>The mail link brings its own %1, but something is written there already.

Replace it with the link's, or keep what is there?</source>
        <translation>El enlace de correo trae su propio valor para %1, pero ya hay algo escrito ahí.

¿Reemplazarlo por el del enlace o mantener lo que hay?</translation>
    </message>
    <message>
        <source>No mail server found for %1: type it into Smtp.</source>
        <translation>No se ha encontrado ningún servidor de correo para %1: escríbalo en Smtp.</translation>
    </message>
    <message>
        <source>Looking up the mail server for %1 . . .</source>
        <translation>Buscando el servidor de correo para %1 . . .</translation>
    </message>
    <message>
        <source>The sign-in is no longer valid (%1): send again to sign in anew.</source>
        <translation>El inicio de sesión ya no es válido (%1): vuelva a enviar para iniciar sesión de nuevo.</translation>
    </message>
    <message>
        <source>Not signed in: %1.</source>
        <translation>Sesión no iniciada: %1.</translation>
    </message>
    <message>
        <source>Signing in as %1 with %2 . . .</source>
        <translation>Iniciando sesión como %1 con %2 . . .</translation>
    </message>
    <message>
        <source>Waiting for the sign-in in your browser . . .</source>
        <translation>Esperando el inicio de sesión en su navegador . . .</translation>
    </message>
</context>
<context>
    <name>TPasswordDialog</name>
    <message>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <source>Password for %1:</source>
        <translation>Contraseña para %1:</translation>
    </message>
    <message>
        <source>&amp;Remember password</source>
        <translation>&amp;Recordar contraseña</translation>
    </message>
</context>
<context>
    <name>TServerSettingsDialog</name>
    <message>
        <source>Settings of the server for your address</source>
        <translation>Ajustes del servidor para su dirección</translation>
    </message>
    <message>
        <source>Settings of %1</source>
        <translation>Ajustes de %1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>ninguno</translation>
    </message>
    <message>
        <source>Server settings</source>
        <translation>Ajustes del servidor</translation>
    </message>
    <message>
        <source>STARTTLS: port 587 unless Smtp names one; SSL/TLS: port 465; None: port 25, no signing in</source>
        <translation>STARTTLS: puerto 587 salvo que Smtp indique otro; SSL/TLS: puerto 465; None: puerto 25, sin iniciar sesión</translation>
    </message>
    <message>
        <source>Empty: send without signing in</source>
        <translation>Vacío: enviar sin iniciar sesión</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <source>OAuth2 in the browser</source>
        <translation>OAuth2 en el navegador</translation>
    </message>
    <message>
        <source>OAuth2: you sign in at your provider's page in the browser, and Corvane keeps no password</source>
        <translation>OAuth2: inicia sesión en la página de su proveedor en el navegador, y Corvane no guarda ninguna contraseña</translation>
    </message>
    <message>
        <source>unchanged</source>
        <translation>sin cambios</translation>
    </message>
    <message>
        <source>&amp;Remember password</source>
        <translation>&amp;Recordar contraseña</translation>
    </message>
    <message>
        <source>Kept in the desktop's keyring, never in Corvane's settings</source>
        <translation>Guardada en el llavero del escritorio, nunca en los ajustes de Corvane</translation>
    </message>
    <message>
        <source>the one Corvane carries</source>
        <translation>el de Corvane</translation>
    </message>
    <message>
        <source>The client ID your organisation registered for Corvane, if any</source>
        <translation>El ID de cliente que su organización registró para Corvane, si lo hay</translation>
    </message>
    <message>
        <source>Microsoft 365: your organisation's tenant (a domain or ID)</source>
        <translation>Microsoft 365: el inquilino de su organización (un dominio o un ID)</translation>
    </message>
    <message>
        <source>Copy sent mail to the Sent folder over I&amp;MAP</source>
        <translation>Copiar el correo enviado a la carpeta «Enviados» por I&amp;MAP</translation>
    </message>
    <message>
        <source>STARTTLS: port 143 unless named; SSL/TLS: port 993</source>
        <translation>STARTTLS: puerto 143 si no se indica otro; SSL/TLS: puerto 993</translation>
    </message>
    <message>
        <source>&amp;Find settings</source>
        <translation>&amp;Buscar ajustes</translation>
    </message>
    <message>
        <source>Type your address into From first</source>
        <translation>Escriba primero su dirección en De</translation>
    </message>
    <message>
        <source>Look up the server for %1</source>
        <translation>Buscar el servidor para %1</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Probar</translation>
    </message>
    <message>
        <source>Connect and sign in with these settings, without sending mail</source>
        <translation>Conectar e iniciar sesión con estos ajustes, sin enviar correo</translation>
    </message>
    <message>
        <source>What a test finds is shown here.</source>
        <translation>Aquí se muestra lo que encuentra una prueba.</translation>
    </message>
    <message>
        <source>&amp;Security:</source>
        <translation>&amp;Seguridad:</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>Nombre de &amp;usuario:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>Con&amp;traseña:</translation>
    </message>
    <message>
        <source>Sign in &amp;with:</source>
        <translation>Iniciar sesión co&amp;n:</translation>
    </message>
    <message>
        <source>OAuth2 client I&amp;D:</source>
        <translation>I&amp;D de cliente OAuth2:</translation>
    </message>
    <message>
        <source>Te&amp;nant:</source>
        <translation>&amp;Inquilino:</translation>
    </message>
    <message>
        <source>IMAP ser&amp;ver:</source>
        <translation>Ser&amp;vidor IMAP:</translation>
    </message>
    <message>
        <source>IMAP s&amp;ecurity:</source>
        <translation>S&amp;eguridad IMAP:</translation>
    </message>
    <message>
        <source>Trusted certificate:</source>
        <translation>Certificado de confianza:</translation>
    </message>
    <message>
        <source>The lookup was stopped.</source>
        <translation>La búsqueda se ha detenido.</translation>
    </message>
    <message>
        <source>Found: %1</source>
        <translation>Encontrado: %1</translation>
    </message>
    <message>
        <source>When you send, you sign in at %1 in your browser once; Corvane keeps the sign-in in the desktop's keyring.</source>
        <translation>Al enviar, inicia sesión una vez en %1 en su navegador; Corvane guarda la sesión en el llavero del escritorio.</translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation>Detenido.</translation>
    </message>
    <message>
        <source>Stop &amp;finding</source>
        <translation>Detener la &amp;búsqueda</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Parar</translation>
    </message>
    <message>
        <source>Looking up the mail server for %1 . . .</source>
        <translation>Buscando el servidor de correo para %1 . . .</translation>
    </message>
</context>
<context>
    <name>TSignInDialog</name>
    <message>
        <source>Sign in to %1</source>
        <translation>Iniciar sesión en %1</translation>
    </message>
    <message>
        <source>Sign in as %1 at %2.</source>
        <translation>Inicie sesión como %1 en %2.</translation>
    </message>
    <message>
        <source>Sign-in page</source>
        <translation>Página de inicio de sesión</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Código</translation>
    </message>
    <message>
        <source>

Your browser shows the sign-in page; Corvane goes on by itself once you are signed in. If no page came up, open this address:</source>
        <translation>

Su navegador muestra la página de inicio de sesión; Corvane continúa solo cuando haya iniciado sesión. Si no apareció ninguna página, abra esta dirección:</translation>
    </message>
    <message>
        <source>

No browser could be opened here. Open this address on any device, enter the code below and sign in; Corvane goes on by itself:</source>
        <translation>

Aquí no se pudo abrir ningún navegador. Abra esta dirección en cualquier dispositivo, introduzca el código de abajo e inicie sesión; Corvane continúa solo:</translation>
    </message>
</context>
<context>
    <name>corvane::app::TMainForm</name>
    <message>
        <source>Ready for your mail . . .</source>
        <translation>Listo para su correo . . .</translation>
    </message>
</context>
</TS>
