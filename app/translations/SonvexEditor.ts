<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>MainWindow</name>
    <message>
        <source>KAVELO Sonvex Editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;EQ</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;EXPORT</source>
        <translation>書き出し(&amp;E)</translation>
    </message>
    <message>
        <source>color: rgb(130, 130, 130);</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FadeIn =</source>
        <translation>フェードイン =</translation>
    </message>
    <message>
        <source>FadeOut =</source>
        <translation>フェードアウト =</translation>
    </message>
    <message>
        <source>Gain =          dB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In Point =</source>
        <translation>イン点 =</translation>
    </message>
    <message>
        <source>Out Point =</source>
        <translation>アウト点 =</translation>
    </message>
    <message>
        <source>color: rgb(255, 255, 255);</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Name :</source>
        <translation>ファイル名 :</translation>
    </message>
    <message>
        <source>color: rgb(180, 180, 180);</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>color: rgb(255, 255, 255);
font-size: 17px;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;COMBINE</source>
        <translation>結合(&amp;C)</translation>
    </message>
    <message>
        <source>color: rgb(255, 255, 255);
background-color: rgb(0, 0, 0);
font-size: 31px;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>00:00:00.00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>44.1kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>48kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>88.2kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>96kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>176.4kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>192kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>352.8kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>384kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2.8MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5.6MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ASIO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WASAPI</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Control
Panel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  0 dB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>POST FADER ON</source>
        <translation>ポストフェーダー オン</translation>
    </message>
    <message>
        <source>&amp;OPEN</source>
        <translation>開く(&amp;O)</translation>
    </message>
    <message>
        <source>IN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OUT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SET POINT</source>
        <translation>ポイント設定</translation>
    </message>
    <message>
        <source>IN-OUT =</source>
        <translation>イン～アウト =</translation>
    </message>
    <message>
        <source>background-color: qlineargradient(spread:pad, x1:0.5, y1:0, x2:0.5, y2:1, stop:0 rgba(111, 111, 111, 255), stop:1 rgba(115, 115, 115, 255));</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>background-color: qlineargradient(spread:pad, x1:0.5, y1:0, x2:0.5, y2:1, stop:0 rgba(91, 91, 91, 255), stop:1 rgba(96, 96, 96, 255));</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>background-color: qlineargradient(spread:pad, x1:0.5, y1:0, x2:0.5, y2:1, stop:0 rgba(82, 82, 82, 255), stop:1 rgba(87, 87, 87, 255));</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>font-size: 11px;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>音声</translation>
    </message>
    <message>
        <source>Device :</source>
        <translation>デバイス :</translation>
    </message>
    <message>
        <source>&amp;Driver :</source>
        <translation>ドライバー(&amp;D) :</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>再生</translation>
    </message>
    <message>
        <source>Frequency :</source>
        <translation>周波数 :</translation>
    </message>
    <message>
        <source>color: rgb(255, 255, 255);
background-color: rgb(0, 0, 0);
font-size: 18px;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0.000dB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mark = </source>
        <translation>マーク = </translation>
    </message>
    <message>
        <source>ADD TRACK</source>
        <translation>トラック追加</translation>
    </message>
    <message>
        <source>MIXER</source>
        <translation>ミキサー</translation>
    </message>
    <message>
        <source>EDIT</source>
        <translation>編集</translation>
    </message>
    <message>
        <source>TAG &amp;INFO.</source>
        <translation>タグ情報(&amp;I)</translation>
    </message>
    <message>
        <source>background-color:rgba(0,0,0,0);
color: rgb(255, 255, 255);
font-size: 17px;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>.wav</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select
Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>VSA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>background-color:rgba(0,0,0,0);
color: rgb(130, 130, 130);</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dynamics</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DEL TRACK</source>
        <translation>トラック削除</translation>
    </message>
    <message>
        <source>Lissajous</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rec</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TL TEST</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>ツール(&amp;T)</translation>
    </message>
    <message>
        <source>OVER Indicator</source>
        <translation>OVER インジケーター</translation>
    </message>
    <message>
        <source>Counter</source>
        <translation>カウンター</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>フレームレート</translation>
    </message>
    <message>
        <source>DSD Filter</source>
        <translation>DSD フィルター</translation>
    </message>
    <message>
        <source>Project</source>
        <translation>プロジェクト</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Manual</source>
        <translation>マニュアル(&amp;M)</translation>
    </message>
    <message>
        <source>Ver1.1 what&apos;s new</source>
        <translation>Ver1.1 の新機能</translation>
    </message>
    <message>
        <source>Licenses</source>
        <translation>ライセンス</translation>
    </message>
    <message>
        <source>About KAVELO Sonvex Editor</source>
        <translation>KAVELO Sonvex Editor について</translation>
    </message>
    <message>
        <source>Holds 2 sec.</source>
        <translation>2 秒間保持</translation>
    </message>
    <message>
        <source>Holds Until Clicked</source>
        <translation>クリックするまで保持</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>オプション</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英語</translation>
    </message>
    <message>
        <source>Japanese</source>
        <translation>日本語</translation>
    </message>
    <message>
        <source>Set DoP DSD Playable Device</source>
        <translation>DoP で DSD を再生できるデバイスの設定</translation>
    </message>
    <message>
        <source>Repeat Play Mode</source>
        <translation>リピート再生モード</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>時間</translation>
    </message>
    <message>
        <source>Sample</source>
        <translation>サンプル</translation>
    </message>
    <message>
        <source>Timecode</source>
        <translation>タイムコード</translation>
    </message>
    <message>
        <source>23.976F</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>24F</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>25F</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>29.97DF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>29.97NDF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>30DF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>30NDF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EQ HF Mode</source>
        <translation>EQ 高域モード</translation>
    </message>
    <message>
        <source>Device Setup</source>
        <translation>デバイス設定</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>オフ</translation>
    </message>
    <message>
        <source>50kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>150kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load</source>
        <translation>読み込み</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Create</source>
        <translation>作成</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>Insufficient Memory.</source>
        <translation>メモリが不足しています。</translation>
    </message>
</context>
<context>
    <name>snxSplashScreen</name>
    <message>
        <source>Version </source>
        <translation>バージョン </translation>
    </message>
    <message>
        <source> Build </source>
        <translation> ビルド </translation>
    </message>
</context>
</TS>
