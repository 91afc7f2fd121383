<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Resources</name>
    <message>
        <source>Open</source>
        <translation>開く</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>ｷｬﾝｾﾙ</translation>
    </message>
    <message>
        <source>TrueType/OpenType fonts (*.ttf *.otf)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Encode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* FontName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* FamilyName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* SubFamilyName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* UniqueIdentifier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PostscriptName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trademark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copyright</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrin</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
