<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- German texts of Tavelmorinth. Each source is the key of a localised text
     constant (class name, a point, constant name); every key is also listed in
     localisation-keys.txt. -->
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>Tavelmorinth</name>
    <message>
        <source>App.kAboutTavelmorinth</source>
        <translation>Über Tavelmorinth</translation>
    </message>
    <message>
        <source>App.kActivity</source>
        <translation>Aktivität</translation>
    </message>
    <message>
        <source>App.kBreak</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>App.kChange</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>App.kCheckMemory</source>
        <translation>Der Speicherbedarf des Quellordners wird geprüft.</translation>
    </message>
    <message>
        <source>App.kCreated</source>
        <translation>Das Laufwerk wurde erfolgreich erstellt.</translation>
    </message>
    <message>
        <source>App.kDataWillLoad</source>
        <translation>Daten werden aus dem Quellordner geladen</translation>
    </message>
    <message>
        <source>App.kDataWillSaved</source>
        <translation>Daten werden auf der Festplatte gespeichert</translation>
    </message>
    <message>
        <source>App.kDriveIsInUse</source>
        <translation>Tavelmorinth wird verwendet und kann nicht ausgeworfen werden.</translation>
    </message>
    <message>
        <source>App.kEditClear</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>App.kFileQuit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>App.kFileQuitShortcut</source>
        <translation>Cmd+Q</translation>
    </message>
    <message>
        <source>App.kFolder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>App.kHours</source>
        <translation>Std.</translation>
    </message>
    <message>
        <source>App.kInfoSize</source>
        <translation>Dieser Ordner ist größer als die größtmögliche Laufwerksgröße. Bitte wählen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>App.kInterval</source>
        <translation>Intervall zum Schreiben in den Quellordner</translation>
    </message>
    <message>
        <source>App.kmnuAboutBK</source>
        <translation>Über Brantolek</translation>
    </message>
    <message>
        <source>App.kmnuFile</source>
        <translation>Ablage</translation>
    </message>
    <message>
        <source>App.kmnuHelp</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>App.kmnuManual</source>
        <translation>Handbuch</translation>
    </message>
    <message>
        <source>App.kmnuPreferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>App.kmnuShowActivity</source>
        <translation>Aktivität anzeigen</translation>
    </message>
    <message>
        <source>App.kNextSync</source>
        <translation>Nächster Abgleich mit der Festplatte:</translation>
    </message>
    <message>
        <source>App.kPathToSourceFolder</source>
        <translation>Pfad zum Quellordner</translation>
    </message>
    <message>
        <source>App.kSeconds</source>
        <translation>Sek.</translation>
    </message>
    <message>
        <source>App.kSizeOfDrive</source>
        <translation>Größe von Tavelmorinth</translation>
    </message>
    <message>
        <source>App.kSizeToLarge</source>
        <translation>Der Quellordner ist größer als die RAM-Disk! Der Vorgang wurde abgebrochen. Bitte wählen Sie eine andere Größe.</translation>
    </message>
    <message>
        <source>App.kSourceNotAvailable</source>
        <translation>Achtung, der Ordner existiert nicht. Bitte stellen Sie ihn bereit und starten Sie „Tavelmorinth“ neu, oder wählen Sie in den Einstellungen einen anderen Quellordner.</translation>
    </message>
    <message>
        <source>App.kSyncReady</source>
        <translation>Die Synchronisation wurde erfolgreich abgeschlossen.</translation>
    </message>
    <message>
        <source>App.kWillbeCreated</source>
        <translation>Das Laufwerk wird erstellt.</translation>
    </message>
    <message>
        <source>App.kWillClosed</source>
        <translation>Tavelmorinth wird beendet, sobald alle Vorgänge abgeschlossen sind.</translation>
    </message>
    <message>
        <source>App.kWillRestarted</source>
        <translation>Tavelmorinth wird neu gestartet</translation>
    </message>
    <message>
        <source>App.kWillShutdown</source>
        <translation>Tavelmorinth wird beendet.</translation>
    </message>
    <message>
        <source>App.kSyncIncomplete</source>
        <translation>Die Synchronisation war nicht vollständig: %1 Einträge konnten nicht synchronisiert werden.</translation>
    </message>
    <message>
        <source>App.kSyncNoRoot</source>
        <translation>Die Synchronisation konnte nicht ausgeführt werden, weil der Quellordner oder die RAM-Disk fehlt.</translation>
    </message>
    <message>
        <source>App.kCreateFailed</source>
        <translation>Das Laufwerk konnte nicht erstellt werden.</translation>
    </message>
    <message>
        <source>App.kLoadIncomplete</source>
        <translation>Die Daten wurden nicht vollständig geladen. Bis zu einem vollständigen Laden wird beim Speichern nichts im Quellordner gelöscht.</translation>
    </message>
    <message>
        <source>App.kKeptAttached</source>
        <translation>Tavelmorinth war von einem früheren Lauf noch eingebunden. Seine Dateien wurden beibehalten und werden auf der Festplatte gespeichert.</translation>
    </message>
    <message>
        <source>App.kNotSavedNoEject</source>
        <translation>Die Daten konnten nicht auf die Festplatte geschrieben werden, daher wurde Tavelmorinth nicht ausgeworfen.</translation>
    </message>
    <message>
        <source>frmAbout.kSlogan</source>
        <translation>Die RAM-Disk, die bleibt: Der automatische Abgleich mit der Festplatte macht sie dauerhaft. Ihre Programme erhalten das Tempo des Arbeitsspeichers und die Sicherheit einer Festplatte.</translation>
    </message>
    <message>
        <source>frmAboutBK.kAboutBK</source>
        <translation>Über Brantolek</translation>
    </message>
    <message>
        <source>frmAboutBK.kMoreInfos</source>
        <translation>Mehr Infos</translation>
    </message>
    <message>
        <source>frmAboutBK.kAbout1</source>
        <translation>Brantolek ist ein kleines Softwareunternehmen. Wir entwickeln Hilfsprogramme für die tägliche Arbeit am Computer: Programme, die einfach zu bedienen sind und eine Aufgabe gut erledigen.</translation>
    </message>
    <message>
        <source>frmAboutBK.kAbout2</source>
        <translation>Unser Angebot:
- Hilfsprogramme für den Schreibtisch, wie Tavelmorinth
- Software nach Maß für die Anforderungen Ihres Unternehmens
- Pflege und Weiterentwicklung bestehender Programme</translation>
    </message>
    <message>
        <source>frmAboutBK.kAbout3</source>
        <translation>Außerdem helfen wir Ihnen bei:
- Planung und Einrichtung von Computerarbeitsplätzen
- Sicherung und Synchronisation Ihrer Daten
- der Wahl der Software, die zu Ihrer Arbeit passt</translation>
    </message>
    <message>
        <source>frmAboutBK.kAbout4</source>
        <translation>Für Unternehmen entwickeln wir Datenbankanwendungen und Werkzeuge, die sich nach ihren eigenen Arbeitsabläufen richten.</translation>
    </message>
    <message>
        <source>frmAboutBK.kAbout5</source>
        <translation>Schulungen und persönliche Betreuung runden unser Angebot ab: Wir erklären unsere Programme und sind auch nach der Installation für Sie da.</translation>
    </message>
    <message>
        <source>frmAboutBK.kAbout6</source>
        <translation>Möchten Sie mehr erfahren, oder haben Sie eine Idee für ein Programm? Schreiben Sie uns oder besuchen Sie unsere Webseite. Wir freuen uns auf Ihre Nachricht.</translation>
    </message>
    <message>
        <source>frmAboutBK.kInquiry</source>
        <translation>Anfrage zu ...</translation>
    </message>
    <message>
        <source>frmAboutBK.kEmailHeader</source>
        <translation>Sehr geehrte Damen und Herren,</translation>
    </message>
    <message>
        <source>frmUpdateWindow.kcmdUpdate</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>frmUpdateWindow.kcmdUpdateHelpTag</source>
        <translation>Aktuelle Version herunterladen!</translation>
    </message>
    <message>
        <source>frmUpdateWindow.klblUpdateInfo</source>
        <translation>Für die Informationen zu diesem Update ist ein Zugang zum Internet nötig. Sie können sich auch an einem Computer mit Internetverbindung unter www.brantolek.example über das Update informieren und es dort herunterladen. Möchten Sie die neue Version laden? Beenden Sie bitte zuerst Tavelmorinth, sobald der Download abgeschlossen ist. Wir empfehlen, das Update zu laden.</translation>
    </message>
    <message>
        <source>HTMLViewer.kPageNotLoaded</source>
        <translation>Die Seite konnte nicht geladen werden.</translation>
    </message>
    <message>
        <source>App.kSourceRefused</source>
        <translation>Dieser Ordner kann nicht der Quellordner sein: Tavelmorinth sperrt seinen Quellordner für alle, wenn es beendet wird. Bitte wählen Sie einen eigenen Ordner, nicht Ihren Benutzerordner, einen Ordner darüber, einen Ordner des Systems, den Einstellungsordner oder die RAM-Disk, und keinen Ordner, dessen Name einen Zeilenumbruch enthält.</translation>
    </message>
    <message>
        <source>App.kSourceNotUsable</source>
        <translation>Achtung, dieser Quellordner kann nicht verwendet werden: Er ist Ihr Benutzerordner, ein Ordner darüber, ein Ordner des Systems, der Einstellungsordner oder die RAM-Disk, oder sein Name enthält einen Zeilenumbruch. Bitte wählen Sie in den Optionen einen anderen Quellordner.</translation>
    </message>
    <message>
        <source>App.kSettingsNotSaved</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden. Bitte prüfen Sie, ob in den Einstellungsordner und in den Quellordner geschrieben werden kann. Die bisherigen Einstellungen bleiben in Gebrauch.</translation>
    </message>
    <message>
        <source>App.kEjectFailed</source>
        <translation>Tavelmorinth konnte nicht ausgeworfen werden. Es bleibt verbunden und wird weiterhin auf die Festplatte gesichert.</translation>
    </message>
    <message>
        <source>ShowURL.kCannotOpen</source>
        <translation>„%1“ konnte nicht geöffnet werden. Bitte prüfen Sie, ob xdg-open (Paket xdg-utils) installiert und ein Programm für diese Art von Datei oder Adresse eingerichtet ist.</translation>
    </message>
    <message>
        <source>App.kVolumeForeign</source>
        <translation>Unter /volumes/Tavelmorinth liegt etwas, das nicht Ihre RAM-Disk ist (die RAM-Disk eines anderen Benutzers, ein Verweis oder ein Ordner mit Dateien). Es wurde nicht angetastet: Es wurde keine RAM-Disk erstellt und nichts geladen oder gesichert. Entfernen Sie es und schließen Sie dann das Optionsfenster oder starten Sie Tavelmorinth neu.</translation>
    </message>
    <message>
        <source>App.kNoMountHelper</source>
        <translation>Das Laufwerk konnte nicht erstellt werden: Ein gewöhnlicher Benutzer braucht das Einhängeprogramm, das nicht eingerichtet ist. Root richtet es ein, indem er das Paket installiert, mit „cmake --install“ oder für einen Build-Ordner mit „scripts/setup --helper“.</translation>
    </message>
    <message>
        <source>App.kSyncIncompleteOne</source>
        <translation>Die Synchronisation war nicht vollständig: %1 Eintrag konnte nicht synchronisiert werden.</translation>
    </message>
    <message>
        <source>App.kSyncSourceFull</source>
        <translation>Der Datenträger des Quellordners ist voll. Bitte schaffen Sie dort Platz: Bis dahin bleiben die Dateien auf der RAM-Disk, im Quellordner wird nichts gelöscht, und jede Sicherung versucht es erneut.</translation>
    </message>
    <message>
        <source>App.kSyncSeeLog</source>
        <translation>Das Protokoll des Programms (Standardfehlerausgabe) nennt jeden Eintrag und den Grund. Bis eine Synchronisation vollständig ist, wird im Quellordner nichts gelöscht; die nächste versucht es erneut.</translation>
    </message>
    <message>
        <source>App.kWaitingForGuard</source>
        <translation>Es wird gewartet, bis die Daten des letzten Laufs auf die Festplatte geschrieben sind und ihr Laufwerk ausgeworfen ist.</translation>
    </message>
    <message>
        <source>App.kSourceChanged</source>
        <translation>Der Quellordner ist nicht mehr der Ordner, aus dem geladen wurde (sein Laufwerk wurde ausgehängt, oder er wurde ersetzt oder umbenannt). Es wurde nichts kopiert oder gelöscht. Tavelmorinth bleibt eingebunden und wird gesichert, sobald der Quellordner wieder da ist.</translation>
    </message>
    <message>
        <source>App.kVolumeChanged</source>
        <translation>/volumes/Tavelmorinth ist nicht mehr die RAM-Disk, in die geladen wurde (sie wurde ersetzt oder umbenannt). Es wurde nichts hinein- oder herauskopiert, und sie wird nicht ausgeworfen.</translation>
    </message>
</context>
</TS>
