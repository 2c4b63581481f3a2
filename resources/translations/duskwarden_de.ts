<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;%1 --help&apos; for more information.</source>
        <translation>„%1 --help“ gibt weitere Informationen.</translation>
    </message>
    <message>
        <source>no runtime directory: XDG_RUNTIME_DIR cannot be made, or it is not set and no private one could be made</source>
        <translation>kein Laufzeitverzeichnis: XDG_RUNTIME_DIR kann nicht angelegt werden, oder es ist nicht gesetzt und kein eigenes konnte angelegt werden</translation>
    </message>
    <message>
        <source>ignoring %1: it is not an absolute path</source>
        <translation>%1 wird ignoriert: kein absoluter Pfad</translation>
    </message>
    <message>
        <source>no display (DISPLAY is not set); start it inside a desktop session</source>
        <translation>keine Anzeige (DISPLAY ist nicht gesetzt); starten Sie es in einer Desktop-Sitzung</translation>
    </message>
    <message>
        <source>cannot open display &apos;%1&apos;</source>
        <translation>Anzeige „%1“ kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR is not set; using %1</source>
        <translation>XDG_RUNTIME_DIR ist nicht gesetzt; %1 wird verwendet</translation>
    </message>
    <message>
        <source>%1 goes with %2</source>
        <translation>%1 gehört zu %2</translation>
    </message>
    <message>
        <source>--version cannot be combined with %1</source>
        <translation>--version kann nicht mit %1 kombiniert werden</translation>
    </message>
    <message>
        <source>--autostart cannot be combined with %1</source>
        <translation>--autostart kann nicht mit %1 kombiniert werden</translation>
    </message>
    <message>
        <source>one command at a time: %1 and %2</source>
        <translation>nur ein Befehl auf einmal: %1 und %2</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; needs a value</source>
        <translation>Option „%1“ braucht einen Wert</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes no value</source>
        <translation>Option „%1“ nimmt keinen Wert an</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>Usage:</source>
        <translation>Aufruf:</translation>
    </message>
    <message>
        <source>show this help and exit</source>
        <translation>diese Hilfe anzeigen und beenden</translation>
    </message>
    <message>
        <source>show the version and exit</source>
        <translation>die Version anzeigen und beenden</translation>
    </message>
    <message>
        <source>used by the start-at-login entry: opens no window</source>
        <translation>vom Autostart-Eintrag verwendet: öffnet kein Fenster</translation>
    </message>
    <message>
        <source>Commands for the running %1 (started first when it is not running,
except for %2); one at a time:
</source>
        <translation>Befehle an das laufende %1 (zuerst gestartet, wenn es nicht läuft,
außer bei %2); jeweils nur einer:
</translation>
    </message>
    <message>
        <source>invalid strength &apos;%1&apos;: expected a decimal number from 0.0 to 1.0, such as 0.5</source>
        <translation>ungültige Wärme „%1“: erwartet wird eine Dezimalzahl mit Punkt von 0.0 bis 1.0, etwa 0.5</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for %2: expected on or off</source>
        <translation>ungültiger Wert „%1“ für %2: erwartet wird on oder off</translation>
    </message>
    <message>
        <source>on</source>
        <translation>an</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Night Shift: %1; strength: %2; Keep Always On: %3; backend: %4</source>
        <translation>Nachtlicht: %1; Wärme: %2; Immer eingeschaltet: %3; Backend: %4</translation>
    </message>
    <message>
        <source>not supported here</source>
        <translation>hier nicht unterstützt</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keines</translation>
    </message>
    <message>
        <source>turn Night Shift on</source>
        <translation>Nachtlicht einschalten</translation>
    </message>
    <message>
        <source>turn Night Shift off; refused while Keep Always On is set</source>
        <translation>Nachtlicht ausschalten; abgelehnt bei „Immer eingeschaltet“</translation>
    </message>
    <message>
        <source>set the warmth, from 0.0 (least warm) to 1.0 (most warm)</source>
        <translation>Wärme einstellen: 0.0 (am wenigsten warm) bis 1.0 (am wärmsten)</translation>
    </message>
    <message>
        <source>switch Keep Always On</source>
        <translation>„Immer eingeschaltet“ ein- oder ausschalten</translation>
    </message>
    <message>
        <source>no runtime directory: XDG_RUNTIME_DIR is not set and no private one could be made</source>
        <translation>kein Laufzeitverzeichnis: XDG_RUNTIME_DIR ist nicht gesetzt, und kein eigenes konnte angelegt werden</translation>
    </message>
    <message>
        <source>cannot start %1: %2</source>
        <translation>%1 kann nicht gestartet werden: %2</translation>
    </message>
    <message>
        <source>%1 is not running</source>
        <translation>%1 läuft nicht</translation>
    </message>
    <message>
        <source>%1 belongs to another user; nothing was sent</source>
        <translation>%1 gehört einem anderen Benutzer; nichts wurde gesendet</translation>
    </message>
    <message>
        <source>the running %1 did not answer</source>
        <translation>das laufende %1 hat nicht geantwortet</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2; its messages are in the journal (journalctl SYSLOG_IDENTIFIER=duskwarden)</source>
        <translation>%1 wurde gestartet, endete aber mit Status %2; seine Meldungen stehen im Journal (journalctl SYSLOG_IDENTIFIER=duskwarden)</translation>
    </message>
    <message>
        <source>%1 was started but did not open %2 in time</source>
        <translation>%1 wurde gestartet, hat %2 aber nicht rechtzeitig geöffnet</translation>
    </message>
    <message>
        <source>a running %1 holds %2 but does not answer on %3</source>
        <translation>ein laufendes %1 hält %2, antwortet aber nicht auf %3</translation>
    </message>
    <message>
        <source>Night Shift stays on while Keep Always On is set; switch that off first (--keep-always-on off)</source>
        <translation>Das Nachtlicht bleibt an, solange „Immer eingeschaltet“ gesetzt ist; schalten Sie das zuerst aus (--keep-always-on off)</translation>
    </message>
    <message>
        <source>the running %1 is another version and does not know this command; quit it and try again</source>
        <translation>das laufende %1 ist eine andere Version und kennt diesen Befehl nicht; beenden Sie es und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>the running %1 answered: %2</source>
        <translation>das laufende %1 antwortete: %2</translation>
    </message>
    <message>
        <source>turn Night Shift off</source>
        <translation>Nachtlicht ausschalten</translation>
    </message>
    <message>
        <source>set the strength</source>
        <translation>die Wärme einstellen</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2; nothing kept its messages (no journal here); start %3 in a terminal to see them</source>
        <translation>%1 wurde gestartet, endete aber mit Status %2; seine Meldungen wurden nicht aufbewahrt (hier gibt es kein Journal); starten Sie %3 in einem Terminal, um sie zu sehen</translation>
    </message>
    <message>
        <source>night light is not supported on this desktop; the journal says why (journalctl SYSLOG_IDENTIFIER=duskwarden)</source>
        <translation>Nachtlicht wird auf dieser Arbeitsumgebung nicht unterstützt; das Journal nennt den Grund (journalctl SYSLOG_IDENTIFIER=duskwarden)</translation>
    </message>
    <message>
        <source>night light is not supported on this desktop; the running %1&apos;s standard error says why</source>
        <translation>Nachtlicht wird auf dieser Arbeitsumgebung nicht unterstützt; die Standardfehlerausgabe des laufenden %1 nennt den Grund</translation>
    </message>
    <message>
        <source>carry out %1</source>
        <translation>%1 ausführen</translation>
    </message>
    <message>
        <source>asked to %1, but the desktop did not report it done within %2 seconds</source>
        <translation>Angefordert: %1 – die Arbeitsumgebung hat es aber nicht innerhalb von %2 Sekunden als erledigt gemeldet</translation>
    </message>
    <message>
        <source>could not %1: %2</source>
        <translation>%1 ist nicht gelungen: %2</translation>
    </message>
    <message>
        <source>%1 (unconfirmed)</source>
        <translation>%1 (unbestätigt)</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR (%1) is too long for a socket path; using %2</source>
        <translation>XDG_RUNTIME_DIR (%1) ist zu lang für den Pfad eines Sockets; %2 wird verwendet</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR (%1) is not a directory; using %2</source>
        <translation>XDG_RUNTIME_DIR (%1) ist kein Verzeichnis; %2 wird verwendet</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2: %3</source>
        <translation>%1 wurde gestartet, endete aber mit Status %2: %3</translation>
    </message>
    <message>
        <source>%1 goes with a command that shows something, such as --status</source>
        <translation>%1 gehört zu einem Befehl, der etwas anzeigt, etwa --status</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for %2: expected one of %3</source>
        <translation>ungültiger Wert „%1“ für %2: erwartet wird einer von %3</translation>
    </message>
    <message>
        <source>%1 cannot be combined with %2 %3</source>
        <translation>%1 kann nicht mit %2 %3 kombiniert werden</translation>
    </message>
    <message>
        <source>%1; why: %2</source>
        <translation>%1; Grund: %2</translation>
    </message>
    <message>
        <source>show the state; with --follow, at each change</source>
        <translation>den Zustand anzeigen; mit --follow bei jeder Änderung</translation>
    </message>
    <message>
        <source>the running %1 has as many followers as it takes; stop one and try again</source>
        <translation>das laufende %1 hat so viele Mitleser, wie es annimmt; beenden Sie einen und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>the running %1 stopped sending to this follower</source>
        <translation>das laufende %1 sendet diesem Mitleser nichts mehr</translation>
    </message>
    <message>
        <source>%1 is already running; its controls have been opened.</source>
        <translation>%1 läuft bereits; seine Steuerung wurde geöffnet.</translation>
    </message>
    <message>
        <source>%1 keeps the desktop&apos;s night light on. It lives in the system tray:
left-click its icon for the controls, right-click (or Control-click) for the
menu. Where the tray&apos;s menu opens on a left click, its first item is Show
Controls. Without a tray it keeps running and opens its controls in a window.
Starting it again while it runs opens its controls.
</source>
        <translation>%1 hält das Nachtlicht der Arbeitsumgebung eingeschaltet. Es sitzt im
Infobereich der Leiste: Ein Linksklick auf sein Symbol öffnet die Steuerung,
ein Rechtsklick (oder Strg-Klick) das Menü. Wo sich das Menü schon bei einem
Linksklick öffnet, ist sein erster Eintrag „Steuerung anzeigen“.
Ohne Infobereich läuft es weiter und öffnet seine Steuerung in einem Fenster.
Wird es erneut gestartet, während es schon läuft, öffnet sich die Steuerung.
</translation>
    </message>
    <message>
        <source>Exit status: 0 done, 1 refused or failed, 2 wrong usage,
3 (%1) not running.
</source>
        <translation>Exit-Status: 0 erledigt, 1 abgelehnt oder fehlgeschlagen, 2 falscher Aufruf,
3 (%1) läuft nicht.
</translation>
    </message>
</context>
<context>
    <name>Popover</name>
    <message>
        <source>Warden Mode</source>
        <translation>Wächtermodus</translation>
    </message>
    <message>
        <source>Always On Mode</source>
        <translation>Immer eingeschaltet</translation>
    </message>
    <message>
        <source>Automatically keeps Night Shift active.</source>
        <translation>Hält das Nachtlicht automatisch eingeschaltet.</translation>
    </message>
    <message>
        <source>Status: Active</source>
        <translation>Status: aktiv</translation>
    </message>
    <message>
        <source>Status: Inactive</source>
        <translation>Status: inaktiv</translation>
    </message>
    <message>
        <source>Enable Night Shift</source>
        <translation>Nachtlicht einschalten</translation>
    </message>
    <message>
        <source>Disable Night Shift</source>
        <translation>Nachtlicht ausschalten</translation>
    </message>
    <message>
        <source>Less Warm</source>
        <translation>Weniger warm</translation>
    </message>
    <message>
        <source>More Warm</source>
        <translation>Wärmer</translation>
    </message>
    <message>
        <source>Warmth, Less Warm to More Warm</source>
        <translation>Wärme, von weniger warm bis wärmer</translation>
    </message>
    <message>
        <source>Night light is not supported on this desktop</source>
        <translation>Nachtlicht wird auf dieser Arbeitsumgebung nicht unterstützt</translation>
    </message>
    <message>
        <source>Another program is holding night light off</source>
        <translation>Ein anderes Programm hält das Nachtlicht aus</translation>
    </message>
    <message>
        <source>Another program is controlling the screen&apos;s colours</source>
        <translation>Ein anderes Programm steuert die Farben des Bildschirms</translation>
    </message>
    <message>
        <source>Night Light is locked by your administrator&apos;s settings</source>
        <translation>Nachtlicht ist durch die Einstellungen Ihres Administrators gesperrt</translation>
    </message>
    <message>
        <source>Another program is changing the night light settings; try again</source>
        <translation>Ein anderes Programm ändert gerade die Nachtlicht-Einstellungen; versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>The desktop did not answer in time; try again</source>
        <translation>Die Arbeitsumgebung hat nicht rechtzeitig geantwortet; versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>The desktop could not change night light; the log says why</source>
        <translation>Die Arbeitsumgebung konnte das Nachtlicht nicht ändern; das Protokoll nennt den Grund</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Night Shift Active</source>
        <translation>Nachtlicht aktiv</translation>
    </message>
    <message>
        <source>Night Shift Inactive</source>
        <translation>Nachtlicht inaktiv</translation>
    </message>
    <message>
        <source>Check for Updates...</source>
        <translation>Nach Aktualisierungen suchen …</translation>
    </message>
    <message>
        <source>Quit %1</source>
        <translation>%1 beenden</translation>
    </message>
    <message>
        <source>no system tray found; %1 keeps night light on in the background. Start %1 to open its window.</source>
        <translation>kein Infobereich gefunden; %1 hält das Nachtlicht im Hintergrund eingeschaltet. Starten Sie %1, um sein Fenster zu öffnen.</translation>
    </message>
    <message>
        <source>no system tray found; %1&apos;s controls are open in a window. Start %1 again to reopen them.</source>
        <translation>kein Infobereich gefunden; die Steuerung von %1 ist in einem Fenster geöffnet. Starten Sie %1 erneut, um sie wieder zu öffnen.</translation>
    </message>
    <message>
        <source>the system tray went away; %1 keeps running. Start %1 again to open its window.</source>
        <translation>der Infobereich ist verschwunden; %1 läuft weiter. Starten Sie %1 erneut, um sein Fenster zu öffnen.</translation>
    </message>
    <message>
        <source>Show Controls</source>
        <translation>Steuerung anzeigen</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>Software Update - %1</source>
        <translation>Softwareaktualisierung – %1</translation>
    </message>
    <message>
        <source>Checking for updates…</source>
        <translation>Nach Aktualisierungen wird gesucht …</translation>
    </message>
    <message>
        <source>You&apos;re up to date.</source>
        <translation>Sie sind auf dem neuesten Stand.</translation>
    </message>
    <message>
        <source>%1 %2 is the newest version available.</source>
        <translation>%1 %2 ist die neueste verfügbare Version.</translation>
    </message>
    <message>
        <source>A new version of %1 is available.</source>
        <translation>Eine neue Version von %1 ist verfügbar.</translation>
    </message>
    <message>
        <source>%1 %2 is available; you have %3.</source>
        <translation>%1 %2 ist verfügbar; Sie haben %3.</translation>
    </message>
    <message>
        <source>

Release notes: %1</source>
        <translation>

Versionshinweise: %1</translation>
    </message>
    <message>
        <source>Open Download Page</source>
        <translation>Download-Seite öffnen</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Versionshinweise</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>The update check failed.</source>
        <translation>Die Suche nach Aktualisierungen ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Updates are not configured.</source>
        <translation>Aktualisierungen sind nicht eingerichtet.</translation>
    </message>
    <message>
        <source>This build of %1 has no update feed. Updates come from where you installed it.</source>
        <translation>Diese Ausgabe von %1 sucht nicht selbst nach Aktualisierungen. Sie kommen von dort, wo Sie %1 installiert haben.</translation>
    </message>
</context>
</TS>
