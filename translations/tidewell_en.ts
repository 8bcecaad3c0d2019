<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>CDataExchange</name>
    <message>
        <source>「%1」には整数を指定してください（入力: &quot;%2&quot;）。</source>
        <translation>Enter a whole number for “%1” (you entered &quot;%2&quot;).</translation>
    </message>
    <message>
        <source>「%1」は %2 から %3 までの範囲で指定してください（入力: %4）。</source>
        <translation>“%1” must be between %2 and %3 (you entered %4).</translation>
    </message>
    <message>
        <source>「%1」は %2 バイト以内で指定してください（現在 %3 バイト）。</source>
        <translation>“%1” may be at most %2 bytes long (it is %3 bytes).</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報(TIDEWELL) (&amp;A)...</source>
        <translation>&amp;About TIDEWELL...</translation>
    </message>
</context>
<context>
    <name>tidewell::CAboutDlg</name>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報 TIDEWELL</source>
        <translation>About TIDEWELL</translation>
    </message>
    <message>
        <source>HARUCOM のログの改行を詰める／戻すツールです。</source>
        <translation>Cuts or restores the line feeds of HARUCOM logs.</translation>
    </message>
</context>
<context>
    <name>tidewell::CProgressDlg</name>
    <message>
        <source>変換中 - しおさい～</source>
        <translation>Converting - しおさい～</translation>
    </message>
    <message>
        <source>ToDo リストを読んでいます…</source>
        <translation>Reading the to-do list…</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>変換中: %1</source>
        <translation>Converting: %1</translation>
    </message>
    <message>
        <source>%1 件目</source>
        <translation>Entry %1</translation>
    </message>
    <message>
        <source>このログが終わりしだい中止します…</source>
        <translation>Stopping after this log…</translation>
    </message>
</context>
<context>
    <name>tidewell::CTidewellDlg</name>
    <message>
        <source>うりゃ</source>
        <translation>Go!</translation>
    </message>
    <message>
        <source>やめた～</source>
        <translation>Never mind</translation>
    </message>
    <message>
        <source>行間隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>TODOLST2.DAT のパス</source>
        <translation>Path of TODOLST2.DAT</translation>
    </message>
    <message>
        <source>HARUCOM TODOLST2.DAT を指定してください。</source>
        <translation>Choose the HARUCOM TODOLST2.DAT</translation>
    </message>
    <message>
        <source>TODOLST2.DAT file (TODOLST2.DAT)</source>
        <translation>TODOLST2.DAT file (TODOLST2.DAT)</translation>
    </message>
    <message>
        <source>DAT file (*.DAT)</source>
        <translation>DAT file (*.DAT)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>設定を保存できませんでした。
%1</source>
        <translation>The settings could not be saved.
%1</translation>
    </message>
    <message>
        <source>ToDo リストを開けません。
%1
(%2)</source>
        <translation>The to-do list cannot be opened.
%1
(%2)</translation>
    </message>
    <message>
        <source>変換を中止しました。%1 件のログを変換済みです。</source>
        <translation>Conversion stopped. %1 log(s) were converted.</translation>
    </message>
    <message>
        <source>(空のファイル名)</source>
        <translation>(empty file name)</translation>
    </message>
    <message>
        <source>次のログは変換できませんでした（%1 件）。

%2</source>
        <translation>These logs could not be converted (%1):

%2</translation>
    </message>
    <message>
        <source>
ほか %1 件</source>
        <translation>
and %1 more</translation>
    </message>
    <message>
        <source>設定ファイルを読めません。既定の設定を表示しています。
%1</source>
        <translation>The profile cannot be read; the default settings are shown.
%1</translation>
    </message>
</context>
</TS>
