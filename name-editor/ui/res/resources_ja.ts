<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Resources</name>
    <message>
        <source>Cancel</source>
        <translation>ｷｬﾝｾﾙ</translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was written and your edits are kept: put this right and press OK again, or Cancel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot save: the names together no longer fit the name table; shorten a long one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot save: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Give the path of a TrueType or OpenType font: Kestrin [FONT]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check that the file is there and that you may read it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrin opens TrueType and OpenType fonts and collections (.ttf, .otf, .ttc, .otc).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read-only: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder %1 can&apos;t be written: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Font - Kestrin</source>
        <translation>フォントを開く - Kestrin</translation>
    </message>
    <message>
        <source>Fonts (*.ttf *.otf *.ttc *.otc)</source>
        <translation>フォント (*.ttf *.otf *.ttc *.otc)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Change the text to characters that %1 holds, or press Cancel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The platform, encoding and language of the names below; each has its own set.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 4: Full font name, shown in font menus
* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 1: Font family name, shared by the family&apos;s styles
* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 2: Font subfamily (style) name: Regular, Italic, Bold or Bold Italic
* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 3: Unique font identifier, telling this font from every other
* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 6: PostScript name, used by printers and in PDF files; no blanks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 5: Version string, &quot;Version 1.000&quot; and so on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 7: Trademark notice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name ID 0: Copyright notice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Encode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* &amp;FontName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* F&amp;amilyName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* &amp;SubFamilyName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>* &amp;UniqueIdentifier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;PostscriptName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Trademark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copyright</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot save: the folder “%1” can&apos;t be written (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 other hard link keeps the old font on save.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 other hard links keep the old font on save.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>usage:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot open file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>invalid ttf file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>name table too large.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write error.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>name cannot be encoded.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: cannot be encoded in %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
