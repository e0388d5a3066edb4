<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Tavelmorinth</name>
    <message>
        <source>App.kmnuManual</source>
        <translation>Handbuch</translation>
    </message>
    <message>
        <source>App.kEditClear</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>App.kSyncReady</source>
        <translation>Die Synchronisation wurde erfolgreich abgeschlossen.</translation>
    </message>
    <message>
        <source>App.kBreak</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Other</name>
    <message>
        <source>App.kFolder</source>
        <translation>Ordner</translation>
    </message>
</context>
</TS>
