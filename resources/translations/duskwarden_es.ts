<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;%1 --help&apos; for more information.</source>
        <translation>Pruebe «%1 --help» para más información.</translation>
    </message>
    <message>
        <source>no runtime directory: XDG_RUNTIME_DIR cannot be made, or it is not set and no private one could be made</source>
        <translation>no hay directorio de ejecución: no se puede crear XDG_RUNTIME_DIR, o no está definido y no se pudo crear uno privado</translation>
    </message>
    <message>
        <source>ignoring %1: it is not an absolute path</source>
        <translation>se ignora %1: no es una ruta absoluta</translation>
    </message>
    <message>
        <source>no display (DISPLAY is not set); start it inside a desktop session</source>
        <translation>no hay pantalla (DISPLAY no está definido); inícielo dentro de una sesión de escritorio</translation>
    </message>
    <message>
        <source>cannot open display &apos;%1&apos;</source>
        <translation>no se puede abrir la pantalla «%1»</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR is not set; using %1</source>
        <translation>XDG_RUNTIME_DIR no está definido; se usa %1</translation>
    </message>
    <message>
        <source>%1 goes with %2</source>
        <translation>%1 va con %2</translation>
    </message>
    <message>
        <source>--version cannot be combined with %1</source>
        <translation>--version no se puede combinar con %1</translation>
    </message>
    <message>
        <source>--autostart cannot be combined with %1</source>
        <translation>--autostart no se puede combinar con %1</translation>
    </message>
    <message>
        <source>one command at a time: %1 and %2</source>
        <translation>solo una orden a la vez: %1 y %2</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; needs a value</source>
        <translation>la opción «%1» necesita un valor</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes no value</source>
        <translation>la opción «%1» no admite ningún valor</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>opción desconocida «%1»</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>argumento inesperado «%1»</translation>
    </message>
    <message>
        <source>Usage:</source>
        <translation>Uso:</translation>
    </message>
    <message>
        <source>show this help and exit</source>
        <translation>mostrar esta ayuda y salir</translation>
    </message>
    <message>
        <source>show the version and exit</source>
        <translation>mostrar la versión y salir</translation>
    </message>
    <message>
        <source>used by the start-at-login entry: opens no window</source>
        <translation>para la entrada de inicio de sesión: no abre ninguna ventana</translation>
    </message>
    <message>
        <source>Commands for the running %1 (started first when it is not running,
except for %2); one at a time:
</source>
        <translation>Órdenes para %1 en ejecución (se inicia antes si no lo está,
salvo con %2); de una en una:
</translation>
    </message>
    <message>
        <source>invalid strength &apos;%1&apos;: expected a decimal number from 0.0 to 1.0, such as 0.5</source>
        <translation>calidez no válida «%1»: se espera un número decimal con punto, de 0.0 a 1.0, como 0.5</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for %2: expected on or off</source>
        <translation>valor no válido «%1» para %2: se espera on u off</translation>
    </message>
    <message>
        <source>on</source>
        <translation>activado</translation>
    </message>
    <message>
        <source>off</source>
        <translation>desactivado</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>desconocida</translation>
    </message>
    <message>
        <source>Night Shift: %1; strength: %2; Keep Always On: %3; backend: %4</source>
        <translation>Luz nocturna: %1; calidez: %2; Siempre activo: %3; motor: %4</translation>
    </message>
    <message>
        <source>not supported here</source>
        <translation>no disponible aquí</translation>
    </message>
    <message>
        <source>none</source>
        <translation>ninguno</translation>
    </message>
    <message>
        <source>turn Night Shift on</source>
        <translation>activar la luz nocturna</translation>
    </message>
    <message>
        <source>turn Night Shift off; refused while Keep Always On is set</source>
        <translation>desactivar la luz nocturna (se rechaza con «Siempre activo»)</translation>
    </message>
    <message>
        <source>set the warmth, from 0.0 (least warm) to 1.0 (most warm)</source>
        <translation>ajustar la calidez: 0.0 (menos cálido) a 1.0 (más cálido)</translation>
    </message>
    <message>
        <source>switch Keep Always On</source>
        <translation>activar o desactivar «Siempre activo»</translation>
    </message>
    <message>
        <source>no runtime directory: XDG_RUNTIME_DIR is not set and no private one could be made</source>
        <translation>no hay directorio de ejecución: XDG_RUNTIME_DIR no está definido y no se pudo crear uno privado</translation>
    </message>
    <message>
        <source>cannot start %1: %2</source>
        <translation>no se puede iniciar %1: %2</translation>
    </message>
    <message>
        <source>%1 is not running</source>
        <translation>%1 no se está ejecutando</translation>
    </message>
    <message>
        <source>%1 belongs to another user; nothing was sent</source>
        <translation>%1 pertenece a otro usuario; no se ha enviado nada</translation>
    </message>
    <message>
        <source>the running %1 did not answer</source>
        <translation>%1 en ejecución no ha respondido</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2; its messages are in the journal (journalctl SYSLOG_IDENTIFIER=duskwarden)</source>
        <translation>%1 se inició pero terminó con el estado %2; sus mensajes están en el registro (journalctl SYSLOG_IDENTIFIER=duskwarden)</translation>
    </message>
    <message>
        <source>%1 was started but did not open %2 in time</source>
        <translation>%1 se inició pero no abrió %2 a tiempo</translation>
    </message>
    <message>
        <source>a running %1 holds %2 but does not answer on %3</source>
        <translation>un %1 en ejecución tiene %2 pero no responde en %3</translation>
    </message>
    <message>
        <source>Night Shift stays on while Keep Always On is set; switch that off first (--keep-always-on off)</source>
        <translation>La luz nocturna sigue encendida mientras «Siempre activo» esté activado; desactívelo primero (--keep-always-on off)</translation>
    </message>
    <message>
        <source>the running %1 is another version and does not know this command; quit it and try again</source>
        <translation>%1 en ejecución es otra versión y no conoce esta orden; ciérrelo y vuelva a intentarlo</translation>
    </message>
    <message>
        <source>the running %1 answered: %2</source>
        <translation>%1 en ejecución respondió: %2</translation>
    </message>
    <message>
        <source>turn Night Shift off</source>
        <translation>desactivar la luz nocturna</translation>
    </message>
    <message>
        <source>set the strength</source>
        <translation>ajustar la calidez</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2; nothing kept its messages (no journal here); start %3 in a terminal to see them</source>
        <translation>%1 se inició pero terminó con el estado %2; sus mensajes no se guardaron (aquí no hay registro del sistema); inicie %3 en un terminal para verlos</translation>
    </message>
    <message>
        <source>night light is not supported on this desktop; the journal says why (journalctl SYSLOG_IDENTIFIER=duskwarden)</source>
        <translation>la luz nocturna no es compatible con este escritorio; el registro indica el motivo (journalctl SYSLOG_IDENTIFIER=duskwarden)</translation>
    </message>
    <message>
        <source>night light is not supported on this desktop; the running %1&apos;s standard error says why</source>
        <translation>la luz nocturna no es compatible con este escritorio; la salida de error estándar del %1 en ejecución indica el motivo</translation>
    </message>
    <message>
        <source>carry out %1</source>
        <translation>ejecutar %1</translation>
    </message>
    <message>
        <source>asked to %1, but the desktop did not report it done within %2 seconds</source>
        <translation>se pidió %1, pero el escritorio no lo confirmó en %2 segundos</translation>
    </message>
    <message>
        <source>could not %1: %2</source>
        <translation>no se pudo %1: %2</translation>
    </message>
    <message>
        <source>%1 (unconfirmed)</source>
        <translation>%1 (sin confirmar)</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR (%1) is too long for a socket path; using %2</source>
        <translation>XDG_RUNTIME_DIR (%1) es demasiado largo para la ruta de un socket; se usa %2</translation>
    </message>
    <message>
        <source>XDG_RUNTIME_DIR (%1) is not a directory; using %2</source>
        <translation>XDG_RUNTIME_DIR (%1) no es un directorio; se usa %2</translation>
    </message>
    <message>
        <source>%1 was started but ended with status %2: %3</source>
        <translation>%1 se inició pero terminó con el estado %2: %3</translation>
    </message>
    <message>
        <source>%1 goes with a command that shows something, such as --status</source>
        <translation>%1 va con una orden que muestra algo, como --status</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for %2: expected one of %3</source>
        <translation>valor no válido «%1» para %2: se espera uno de %3</translation>
    </message>
    <message>
        <source>%1 cannot be combined with %2 %3</source>
        <translation>%1 no se puede combinar con %2 %3</translation>
    </message>
    <message>
        <source>%1; why: %2</source>
        <translation>%1; motivo: %2</translation>
    </message>
    <message>
        <source>show the state; with --follow, at each change</source>
        <translation>mostrar el estado; con --follow, en cada cambio</translation>
    </message>
    <message>
        <source>the running %1 has as many followers as it takes; stop one and try again</source>
        <translation>%1 en ejecución tiene tantos seguidores como admite; detenga uno e inténtelo de nuevo</translation>
    </message>
    <message>
        <source>the running %1 stopped sending to this follower</source>
        <translation>%1 en ejecución dejó de enviar a este seguidor</translation>
    </message>
    <message>
        <source>%1 is already running; its controls have been opened.</source>
        <translation>%1 ya se está ejecutando; se han abierto sus controles.</translation>
    </message>
    <message>
        <source>%1 keeps the desktop&apos;s night light on. It lives in the system tray:
left-click its icon for the controls, right-click (or Control-click) for the
menu. Where the tray&apos;s menu opens on a left click, its first item is Show
Controls. Without a tray it keeps running and opens its controls in a window.
Starting it again while it runs opens its controls.
</source>
        <translation>%1 mantiene encendida la luz nocturna del escritorio. Se muestra en
la bandeja del sistema: un clic izquierdo en su icono abre los controles; un
clic derecho (o Ctrl+clic), el menú. Donde el menú de la bandeja se abre con un
clic izquierdo, su primera entrada es «Mostrar los controles». Sin bandeja
sigue funcionando y abre sus controles en una ventana. Si se inicia de nuevo
mientras se ejecuta, abre sus controles.
</translation>
    </message>
    <message>
        <source>Exit status: 0 done, 1 refused or failed, 2 wrong usage,
3 (%1) not running.
</source>
        <translation>Estado de salida: 0 hecho, 1 rechazado o fallido, 2 uso incorrecto,
3 (%1) no está en ejecución.
</translation>
    </message>
</context>
<context>
    <name>Popover</name>
    <message>
        <source>Warden Mode</source>
        <translation>Modo guardián</translation>
    </message>
    <message>
        <source>Always On Mode</source>
        <translation>Siempre activo</translation>
    </message>
    <message>
        <source>Automatically keeps Night Shift active.</source>
        <translation>Mantiene la luz nocturna activa automáticamente.</translation>
    </message>
    <message>
        <source>Status: Active</source>
        <translation>Estado: activo</translation>
    </message>
    <message>
        <source>Status: Inactive</source>
        <translation>Estado: inactivo</translation>
    </message>
    <message>
        <source>Enable Night Shift</source>
        <translation>Activar la luz nocturna</translation>
    </message>
    <message>
        <source>Disable Night Shift</source>
        <translation>Desactivar la luz nocturna</translation>
    </message>
    <message>
        <source>Less Warm</source>
        <translation>Menos cálido</translation>
    </message>
    <message>
        <source>More Warm</source>
        <translation>Más cálido</translation>
    </message>
    <message>
        <source>Warmth, Less Warm to More Warm</source>
        <translation>Calidez, de menos cálido a más cálido</translation>
    </message>
    <message>
        <source>Night light is not supported on this desktop</source>
        <translation>La luz nocturna no es compatible con este escritorio</translation>
    </message>
    <message>
        <source>Another program is holding night light off</source>
        <translation>Otro programa mantiene la luz nocturna apagada</translation>
    </message>
    <message>
        <source>Another program is controlling the screen&apos;s colours</source>
        <translation>Otro programa controla los colores de la pantalla</translation>
    </message>
    <message>
        <source>Night Light is locked by your administrator&apos;s settings</source>
        <translation>La luz nocturna está bloqueada por la configuración de su administrador</translation>
    </message>
    <message>
        <source>Another program is changing the night light settings; try again</source>
        <translation>Otro programa está cambiando la configuración de la luz nocturna; inténtelo de nuevo</translation>
    </message>
    <message>
        <source>The desktop did not answer in time; try again</source>
        <translation>El escritorio no respondió a tiempo; inténtelo de nuevo</translation>
    </message>
    <message>
        <source>The desktop could not change night light; the log says why</source>
        <translation>El escritorio no pudo cambiar la luz nocturna; el registro indica el motivo</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Night Shift Active</source>
        <translation>Luz nocturna activa</translation>
    </message>
    <message>
        <source>Night Shift Inactive</source>
        <translation>Luz nocturna inactiva</translation>
    </message>
    <message>
        <source>Check for Updates...</source>
        <translation>Buscar actualizaciones…</translation>
    </message>
    <message>
        <source>Quit %1</source>
        <translation>Salir de %1</translation>
    </message>
    <message>
        <source>no system tray found; %1 keeps night light on in the background. Start %1 to open its window.</source>
        <translation>no se encontró ninguna bandeja del sistema; %1 mantiene la luz nocturna encendida en segundo plano. Inicie %1 para abrir su ventana.</translation>
    </message>
    <message>
        <source>no system tray found; %1&apos;s controls are open in a window. Start %1 again to reopen them.</source>
        <translation>no se encontró ninguna bandeja del sistema; los controles de %1 están abiertos en una ventana. Inicie %1 de nuevo para volver a abrirlos.</translation>
    </message>
    <message>
        <source>the system tray went away; %1 keeps running. Start %1 again to open its window.</source>
        <translation>la bandeja del sistema ha desaparecido; %1 sigue en ejecución. Inicie %1 de nuevo para abrir su ventana.</translation>
    </message>
    <message>
        <source>Show Controls</source>
        <translation>Mostrar los controles</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>Software Update - %1</source>
        <translation>Actualización de software – %1</translation>
    </message>
    <message>
        <source>Checking for updates…</source>
        <translation>Buscando actualizaciones…</translation>
    </message>
    <message>
        <source>You&apos;re up to date.</source>
        <translation>Está al día.</translation>
    </message>
    <message>
        <source>%1 %2 is the newest version available.</source>
        <translation>%1 %2 es la versión más reciente disponible.</translation>
    </message>
    <message>
        <source>A new version of %1 is available.</source>
        <translation>Hay una nueva versión de %1 disponible.</translation>
    </message>
    <message>
        <source>%1 %2 is available; you have %3.</source>
        <translation>%1 %2 está disponible; usted tiene la %3.</translation>
    </message>
    <message>
        <source>

Release notes: %1</source>
        <translation>

Notas de la versión: %1</translation>
    </message>
    <message>
        <source>Open Download Page</source>
        <translation>Abrir la página de descarga</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Notas de la versión</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Más tarde</translation>
    </message>
    <message>
        <source>The update check failed.</source>
        <translation>La búsqueda de actualizaciones ha fallado.</translation>
    </message>
    <message>
        <source>Updates are not configured.</source>
        <translation>Las actualizaciones no están configuradas.</translation>
    </message>
    <message>
        <source>This build of %1 has no update feed. Updates come from where you installed it.</source>
        <translation>Esta versión de %1 no busca actualizaciones por sí misma. Las actualizaciones llegan desde donde la instaló.</translation>
    </message>
</context>
</TS>
