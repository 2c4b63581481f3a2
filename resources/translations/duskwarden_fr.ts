<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;%1 --help&apos; for more information.</source>
        <translation>Saisissez «&#xa0;%1 --help&#xa0;» pour plus d’informations.</translation>
    </message>
    <message>
        <source>no runtime directory: XDG_RUNTIME_DIR cannot be made, or it is not set and no private one could be made</source>
        <translation>aucun répertoire d’exécution&#xa0;: XDG_RUNTIME_DIR ne peut pas être créé, ou il n’est pas défini et aucun répertoire privé n’a pu être créé</translation>
    </message>
    <message>
        <source>ignoring %1: it is not an absolute path</source>
        <translation>%1 ignoré&#xa0;: ce n’est pas un chemin absolu</translation>
    </message>
    <message>
        <source>no display (DISPLAY is not set); start it inside a desktop session</source>
        <translation>aucun affichage (DISPLAY n’est pas défini)&#x202f;; lancez-le dans une session de bureau</translation>
    </message>
    <message>
        <source>cannot open display &apos;%1&apos;</source>
        <translation>impossible d’ouvrir l’affichage «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR is not set; using %1</source>
        <translation>XDG_RUNTIME_DIR n’est pas défini&#x202f;; utilisation de %1</translation>
    </message>
    <message>
        <source>%1 goes with %2</source>
        <translation>%1 s’emploie avec %2</translation>
    </message>
    <message>
        <source>--version cannot be combined with %1</source>
        <translation>--version ne peut pas être combiné avec %1</translation>
    </message>
    <message>
        <source>--autostart cannot be combined with %1</source>
        <translation>--autostart ne peut pas être combiné avec %1</translation>
    </message>
    <message>
        <source>one command at a time: %1 and %2</source>
        <translation>une seule commande à la fois&#xa0;: %1 et %2</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; needs a value</source>
        <translation>l’option «&#xa0;%1&#xa0;» nécessite une valeur</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes no value</source>
        <translation>l’option «&#xa0;%1&#xa0;» n’accepte pas de valeur</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>option inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>argument inattendu «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Usage:</source>
        <translation>Utilisation&#xa0;:</translation>
    </message>
    <message>
        <source>show this help and exit</source>
        <translation>afficher cette aide et quitter</translation>
    </message>
    <message>
        <source>show the version and exit</source>
        <translation>afficher la version et quitter</translation>
    </message>
    <message>
        <source>used by the start-at-login entry: opens no window</source>
        <translation>pour le démarrage à la connexion&#xa0;: n’ouvre pas de fenêtre</translation>
    </message>
    <message>
        <source>Commands for the running %1 (started first when it is not running,
except for %2); one at a time:
</source>
        <translation>Commandes pour %1 en cours d’exécution (lancé d’abord s’il ne l’est
pas, sauf pour %2)&#x202f;; une seule à la fois&#xa0;:
</translation>
    </message>
    <message>
        <source>invalid strength &apos;%1&apos;: expected a decimal number from 0.0 to 1.0, such as 0.5</source>
        <translation>chaleur non valide «&#xa0;%1&#xa0;»&#xa0;: un nombre décimal avec un point, de 0.0 à 1.0, est attendu, par exemple 0.5</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for %2: expected on or off</source>
        <translation>valeur non valide «&#xa0;%1&#xa0;» pour %2&#xa0;: on ou off est attendu</translation>
    </message>
    <message>
        <source>on</source>
        <translation>activé</translation>
    </message>
    <message>
        <source>off</source>
        <translation>désactivé</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>inconnue</translation>
    </message>
    <message>
        <source>Night Shift: %1; strength: %2; Keep Always On: %3; backend: %4</source>
        <translation>Éclairage nocturne&#xa0;: %1&#x202f;; chaleur&#xa0;: %2&#x202f;; Toujours actif&#xa0;: %3&#x202f;; moteur&#xa0;: %4</translation>
    </message>
    <message>
        <source>not supported here</source>
        <translation>non pris en charge ici</translation>
    </message>
    <message>
        <source>none</source>
        <translation>aucun</translation>
    </message>
    <message>
        <source>turn Night Shift on</source>
        <translation>activer l’éclairage nocturne</translation>
    </message>
    <message>
        <source>turn Night Shift off; refused while Keep Always On is set</source>
        <translation>désactiver l’éclairage nocturne (refusé avec «&#xa0;Toujours actif&#xa0;»)</translation>
    </message>
    <message>
        <source>set the warmth, from 0.0 (least warm) to 1.0 (most warm)</source>
        <translation>régler la chaleur&#xa0;: 0.0 (le moins chaud) à 1.0 (le plus chaud)</translation>
    </message>
    <message>
        <source>switch Keep Always On</source>
        <translation>activer ou désactiver «&#xa0;Toujours actif&#xa0;»</translation>
    </message>
    <message>
        <source>no runtime directory: XDG_RUNTIME_DIR is not set and no private one could be made</source>
        <translation>aucun répertoire d’exécution&#xa0;: XDG_RUNTIME_DIR n’est pas défini et aucun répertoire privé n’a pu être créé</translation>
    </message>
    <message>
        <source>cannot start %1: %2</source>
        <translation>impossible de lancer %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>%1 is not running</source>
        <translation>%1 n’est pas en cours d’exécution</translation>
    </message>
    <message>
        <source>%1 belongs to another user; nothing was sent</source>
        <translation>%1 appartient à un autre utilisateur&#x202f;; rien n’a été envoyé</translation>
    </message>
    <message>
        <source>the running %1 did not answer</source>
        <translation>%1 en cours d’exécution n’a pas répondu</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2; its messages are in the journal (journalctl SYSLOG_IDENTIFIER=duskwarden)</source>
        <translation>%1 a été lancé mais s’est terminé avec le code %2&#x202f;; ses messages sont dans le journal (journalctl SYSLOG_IDENTIFIER=duskwarden)</translation>
    </message>
    <message>
        <source>%1 was started but did not open %2 in time</source>
        <translation>%1 a été lancé mais n’a pas ouvert %2 à temps</translation>
    </message>
    <message>
        <source>a running %1 holds %2 but does not answer on %3</source>
        <translation>un %1 en cours d’exécution détient %2 mais ne répond pas sur %3</translation>
    </message>
    <message>
        <source>Night Shift stays on while Keep Always On is set; switch that off first (--keep-always-on off)</source>
        <translation>L’éclairage nocturne reste allumé tant que «&#xa0;Toujours actif&#xa0;» est activé&#x202f;; désactivez d’abord cette option (--keep-always-on off)</translation>
    </message>
    <message>
        <source>the running %1 is another version and does not know this command; quit it and try again</source>
        <translation>%1 en cours d’exécution est une autre version et ne connaît pas cette commande&#x202f;; quittez-le et réessayez</translation>
    </message>
    <message>
        <source>the running %1 answered: %2</source>
        <translation>%1 en cours d’exécution a répondu&#xa0;: %2</translation>
    </message>
    <message>
        <source>turn Night Shift off</source>
        <translation>désactiver l’éclairage nocturne</translation>
    </message>
    <message>
        <source>set the strength</source>
        <translation>régler la chaleur</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2; nothing kept its messages (no journal here); start %3 in a terminal to see them</source>
        <translation>%1 a été lancé mais s’est terminé avec le code %2&#x202f;; ses messages n’ont été conservés nulle part (pas de journal ici)&#x202f;; lancez %3 dans un terminal pour les voir</translation>
    </message>
    <message>
        <source>night light is not supported on this desktop; the journal says why (journalctl SYSLOG_IDENTIFIER=duskwarden)</source>
        <translation>l’éclairage nocturne n’est pas pris en charge sur ce bureau&#x202f;; le journal en donne la raison (journalctl SYSLOG_IDENTIFIER=duskwarden)</translation>
    </message>
    <message>
        <source>night light is not supported on this desktop; the running %1&apos;s standard error says why</source>
        <translation>l’éclairage nocturne n’est pas pris en charge sur ce bureau&#x202f;; la sortie d’erreur standard de %1, déjà lancé, en donne la raison</translation>
    </message>
    <message>
        <source>carry out %1</source>
        <translation>exécuter %1</translation>
    </message>
    <message>
        <source>asked to %1, but the desktop did not report it done within %2 seconds</source>
        <translation>demande envoyée («&#xa0;%1&#xa0;»), mais le bureau ne l’a pas confirmée en %2 secondes</translation>
    </message>
    <message>
        <source>could not %1: %2</source>
        <translation>échec de la demande «&#xa0;%1&#xa0;»&#xa0;: %2</translation>
    </message>
    <message>
        <source>%1 (unconfirmed)</source>
        <translation>%1 (non confirmé)</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR (%1) is too long for a socket path; using %2</source>
        <translation>XDG_RUNTIME_DIR (%1) est trop long pour le chemin d’un socket&#x202f;; utilisation de %2</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR (%1) is not a directory; using %2</source>
        <translation>XDG_RUNTIME_DIR (%1) n’est pas un répertoire&#x202f;; utilisation de %2</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2: %3</source>
        <translation>%1 a été lancé mais s’est terminé avec le code %2&#xa0;: %3</translation>
    </message>
    <message>
        <source>%1 goes with a command that shows something, such as --status</source>
        <translation>%1 va avec une commande qui affiche quelque chose, comme --status</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for %2: expected one of %3</source>
        <translation>valeur non valide «&#xa0;%1&#xa0;» pour %2&#xa0;: l’un de %3 est attendu</translation>
    </message>
    <message>
        <source>%1 cannot be combined with %2 %3</source>
        <translation>%1 ne peut pas être combiné avec %2 %3</translation>
    </message>
    <message>
        <source>%1; why: %2</source>
        <translation>%1&#xa0;; raison&#xa0;: %2</translation>
    </message>
    <message>
        <source>show the state; with --follow, at each change</source>
        <translation>afficher l’état&#xa0;; avec --follow, à chaque changement</translation>
    </message>
    <message>
        <source>the running %1 has as many followers as it takes; stop one and try again</source>
        <translation>%1 en cours d’exécution a autant de suiveurs qu’il en accepte&#xa0;; arrêtez-en un et réessayez</translation>
    </message>
    <message>
        <source>the running %1 stopped sending to this follower</source>
        <translation>%1 en cours d’exécution a cessé d’envoyer à ce suiveur</translation>
    </message>
    <message>
        <source>%1 is already running; its controls have been opened.</source>
        <translation>%1 est déjà lancé&#x202f;; ses réglages ont été ouverts.</translation>
    </message>
    <message>
        <source>%1 keeps the desktop&apos;s night light on. It lives in the system tray:
left-click its icon for the controls, right-click (or Control-click) for the
menu. Where the tray&apos;s menu opens on a left click, its first item is Show
Controls. Without a tray it keeps running and opens its controls in a window.
Starting it again while it runs opens its controls.
</source>
        <translation>%1 garde l’éclairage nocturne du bureau allumé. Il se loge dans
la zone de notification&#xa0;: un clic gauche sur son icône ouvre les réglages,
un clic droit (ou Ctrl+clic) ouvre le menu. Là où le menu s’ouvre dès un clic
gauche, son premier élément est «&#xa0;Afficher les réglages&#xa0;». Sans zone de
notification, il continue de fonctionner et ouvre ses réglages dans une
fenêtre. Le relancer pendant qu’il fonctionne ouvre ses réglages.
</translation>
    </message>
    <message>
        <source>Exit status: 0 done, 1 refused or failed, 2 wrong usage,
3 (%1) not running.
</source>
        <translation>Code de sortie&#xa0;: 0 fait, 1 refusé ou échoué, 2 mauvaise utilisation,
3 (%1) pas en cours d’exécution.
</translation>
    </message>
</context>
<context>
    <name>Popover</name>
    <message>
        <source>Warden Mode</source>
        <translation>Mode gardien</translation>
    </message>
    <message>
        <source>Always On Mode</source>
        <translation>Toujours actif</translation>
    </message>
    <message>
        <source>Automatically keeps Night Shift active.</source>
        <translation>Garde l’éclairage nocturne actif automatiquement.</translation>
    </message>
    <message>
        <source>Status: Active</source>
        <translation>État&#xa0;: actif</translation>
    </message>
    <message>
        <source>Status: Inactive</source>
        <translation>État&#xa0;: inactif</translation>
    </message>
    <message>
        <source>Enable Night Shift</source>
        <translation>Activer l’éclairage nocturne</translation>
    </message>
    <message>
        <source>Disable Night Shift</source>
        <translation>Désactiver l’éclairage nocturne</translation>
    </message>
    <message>
        <source>Less Warm</source>
        <translation>Moins chaud</translation>
    </message>
    <message>
        <source>More Warm</source>
        <translation>Plus chaud</translation>
    </message>
    <message>
        <source>Warmth, Less Warm to More Warm</source>
        <translation>Chaleur, de moins chaud à plus chaud</translation>
    </message>
    <message>
        <source>Night light is not supported on this desktop</source>
        <translation>L’éclairage nocturne n’est pas pris en charge sur ce bureau</translation>
    </message>
    <message>
        <source>Another program is holding night light off</source>
        <translation>Un autre programme maintient l’éclairage nocturne éteint</translation>
    </message>
    <message>
        <source>Another program is controlling the screen&apos;s colours</source>
        <translation>Un autre programme contrôle les couleurs de l’écran</translation>
    </message>
    <message>
        <source>Night Light is locked by your administrator&apos;s settings</source>
        <translation>L’éclairage nocturne est verrouillé par les réglages de votre administrateur</translation>
    </message>
    <message>
        <source>Another program is changing the night light settings; try again</source>
        <translation>Un autre programme modifie les réglages de l’éclairage nocturne&#x202f;; réessayez</translation>
    </message>
    <message>
        <source>The desktop did not answer in time; try again</source>
        <translation>Le bureau n’a pas répondu à temps&#x202f;; réessayez</translation>
    </message>
    <message>
        <source>The desktop could not change night light; the log says why</source>
        <translation>Le bureau n’a pas pu modifier l’éclairage nocturne&#x202f;; le journal en donne la raison</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Night Shift Active</source>
        <translation>Éclairage nocturne actif</translation>
    </message>
    <message>
        <source>Night Shift Inactive</source>
        <translation>Éclairage nocturne inactif</translation>
    </message>
    <message>
        <source>Check for Updates...</source>
        <translation>Rechercher des mises à jour…</translation>
    </message>
    <message>
        <source>Quit %1</source>
        <translation>Quitter %1</translation>
    </message>
    <message>
        <source>no system tray found; %1 keeps night light on in the background. Start %1 to open its window.</source>
        <translation>aucune zone de notification trouvée&#x202f;; %1 garde l’éclairage nocturne allumé en arrière-plan. Lancez %1 pour ouvrir sa fenêtre.</translation>
    </message>
    <message>
        <source>no system tray found; %1&apos;s controls are open in a window. Start %1 again to reopen them.</source>
        <translation>aucune zone de notification trouvée&#x202f;; les réglages de %1 sont ouverts dans une fenêtre. Relancez %1 pour les rouvrir.</translation>
    </message>
    <message>
        <source>the system tray went away; %1 keeps running. Start %1 again to open its window.</source>
        <translation>la zone de notification a disparu&#x202f;; %1 continue de fonctionner. Relancez %1 pour ouvrir sa fenêtre.</translation>
    </message>
    <message>
        <source>Show Controls</source>
        <translation>Afficher les réglages</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>Software Update - %1</source>
        <translation>Mise à jour logicielle – %1</translation>
    </message>
    <message>
        <source>Checking for updates…</source>
        <translation>Recherche de mises à jour…</translation>
    </message>
    <message>
        <source>You&apos;re up to date.</source>
        <translation>Vous êtes à jour.</translation>
    </message>
    <message>
        <source>%1 %2 is the newest version available.</source>
        <translation>%1 %2 est la version la plus récente disponible.</translation>
    </message>
    <message>
        <source>A new version of %1 is available.</source>
        <translation>Une nouvelle version de %1 est disponible.</translation>
    </message>
    <message>
        <source>%1 %2 is available; you have %3.</source>
        <translation>%1 %2 est disponible&#x202f;; vous avez la version %3.</translation>
    </message>
    <message>
        <source>

Release notes: %1</source>
        <translation>

Notes de version&#xa0;: %1</translation>
    </message>
    <message>
        <source>Open Download Page</source>
        <translation>Ouvrir la page de téléchargement</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Notes de version</translation>
    </message>
    <message>
        <source>The update check failed.</source>
        <translation>La recherche de mises à jour a échoué.</translation>
    </message>
    <message>
        <source>Updates are not configured.</source>
        <translation>Les mises à jour ne sont pas configurées.</translation>
    </message>
    <message>
        <source>This build of %1 has no update feed. Updates come from where you installed it.</source>
        <translation>Cette version de %1 n’a pas de flux de mises à jour. Les mises à jour viennent de là où vous l’avez installé.</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Plus tard</translation>
    </message>
</context>
</TS>
