// Writes the four Help documents (the manual and the Ver1.1 supplement, in
// English and Japanese) with Qt's PDF writer: A4 pages with 20 mm margins,
// 11 pt body text, headings and page numbers. The PDFs beside this file are
// its output and are what the build installs; run it again after changing a
// text:
//   g++ -std=c++17 -fPIC makemanuals.cpp $(pkg-config --cflags --libs Qt6Gui) -o makemanuals
//   QT_QPA_PLATFORM=offscreen ./makemanuals <this folder> [<folder for page pictures>]
// With a second folder, every page is also drawn as a PNG there, to look at
// the result without a PDF viewer.
#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <QTextDocument>

#include <cstdio>

namespace {

// One block of a document: "# " a heading, "## " a subheading, "- " an item
// of a list, "| a | b" a row of a two-column table (the first row of a
// table is its header), anything else a paragraph.
struct Document {
    const char *file;
    const char *title;
    const char *subtitle;
    QStringList blocks;
};

QString inline_(const QString &text) {
    // **bold** spans; everything else is escaped.
    QString out;
    const QStringList parts = text.split(QStringLiteral("**"));
    for (int i = 0; i < parts.size(); ++i) {
        const QString t = parts[i].toHtmlEscaped();
        out += (i % 2) ? QStringLiteral("<b>%1</b>").arg(t) : t;
    }
    return out;
}

QString html(const Document &doc) {
    QString out = QStringLiteral("<h1>%1</h1>").arg(QString::fromUtf8(doc.title).toHtmlEscaped());
    if (doc.subtitle && *doc.subtitle)
        out += QStringLiteral("<p class=\"sub\">%1</p>").arg(QString::fromUtf8(doc.subtitle).toHtmlEscaped());
    enum { kNone, kList, kTable } open = kNone;
    auto close = [&] {
        if (open == kList) out += QStringLiteral("</ul>");
        open = kNone;
    };
    for (const QString &b : doc.blocks) {
        if (b.startsWith(QLatin1String("- "))) {
            if (open != kList) {
                close();
                out += QStringLiteral("<ul>");
                open = kList;
            }
            out += QStringLiteral("<li>%1</li>").arg(inline_(b.mid(2)));
            continue;
        }
        if (b.startsWith(QLatin1String("| "))) {
            // A control and what it does: the name in bold, the text after
            // it, the lines that follow indented. The first row of a group
            // names the columns and is not shown.
            if (open != kTable) {
                close();
                open = kTable;
                continue;
            }
            const QString row = b.mid(2);
            const int bar = row.indexOf(QStringLiteral(" | "));
            out += QStringLiteral("<p class=\"item\"><b>%1</b> \u2014 %2</p>")
                       .arg(inline_(row.left(bar)), inline_(row.mid(bar + 3)));
            continue;
        }
        close();
        if (b.startsWith(QLatin1String("## ")))
            out += QStringLiteral("<h3>%1</h3>").arg(inline_(b.mid(3)));
        else if (b.startsWith(QLatin1String("# ")))
            out += QStringLiteral("<h2>%1</h2>").arg(inline_(b.mid(2)));
        else
            out += QStringLiteral("<p>%1</p>").arg(inline_(b));
    }
    close();
    return out;
}

constexpr int kDpi = 300;

// The style sheet. Margins are given in CSS pixels (points x 96 / 72),
// which the text layout scales to the device.
QString style() {
    auto px = [](double pt) { return QString::number(qRound(pt * 96.0 / 72.0)) + QStringLiteral("px"); };
    return QStringLiteral("h1 { font-size: 20pt; font-weight: bold; margin-bottom: %1; }"
                          "p.sub { font-size: 10pt; color: #555555; margin-bottom: %2; }"
                          "h2 { font-size: 14pt; font-weight: bold; color: #1f3a5f; margin-top: %3; margin-bottom: %4; }"
                          "h3 { font-size: 12pt; font-weight: bold; margin-top: %5; margin-bottom: %6; }"
                          "p { margin-top: 0px; margin-bottom: %6; }"
                          "p.item { margin-left: %7; text-indent: -%7; margin-bottom: %8; }"
                          "li { margin-bottom: %8; }")
        .arg(px(2), px(14), px(16), px(6), px(10), px(5), px(22), px(4));
}

constexpr double kMarginMm = 20.0;
constexpr int kPreviewDpi = 100;

bool write(const QString &folder, const QString &previewFolder, const Document &doc, const QString &family) {
    QPdfWriter pdf(folder + QLatin1Char('/') + QString::fromLatin1(doc.file));
    pdf.setTitle(QString::fromUtf8(doc.title));
    pdf.setCreator(QStringLiteral("Sonvex Editor"));
    pdf.setResolution(kDpi);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                  QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));

    // Laid out for the writer's resolution, so that 11 pt is 11 pt on paper.
    QTextDocument text;
    text.documentLayout()->setPaintDevice(&pdf);
    QFont font(family);
    font.setPointSizeF(11.0);
    text.setDefaultFont(font);
    text.setDefaultStyleSheet(style());
    text.setHtml(html(doc));
    const QRect area = pdf.pageLayout().paintRectPixels(kDpi);  // the page inside the margins
    const int footer = kDpi / 3;                                // room for the page number
    const QSizeF pageSize(area.width(), area.height() - footer);
    text.setPageSize(pageSize);
    const int pages = text.pageCount();

    // Each page once for the writer and, when asked, once as a picture.
    auto drawPage = [&](QPainter &p, int page) {
        p.save();
        p.translate(0, -page * pageSize.height());
        text.drawContents(&p, QRectF(0, page * pageSize.height(), pageSize.width(), pageSize.height()));
        p.restore();
        QFont small(family);
        small.setPixelSize(9 * kDpi / 72);  // 9 pt on the page
        p.setFont(small);
        p.setPen(QColor(90, 90, 90));
        p.drawText(QRectF(0, area.height() - footer, area.width(), footer), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    };
    QPainter painter;
    if (!painter.begin(&pdf)) return false;
    for (int page = 0; page < pages; ++page) {
        if (page > 0) pdf.newPage();
        drawPage(painter, page);
    }
    painter.end();

    if (!previewFolder.isEmpty()) {
        const double scale = double(kPreviewDpi) / kDpi;
        const QSize full(qRound(210.0 / 25.4 * kPreviewDpi), qRound(297.0 / 25.4 * kPreviewDpi));
        const double margin = kMarginMm / 25.4 * kPreviewDpi;
        for (int page = 0; page < pages; ++page) {
            QImage image(full, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            p.translate(margin, margin);
            p.scale(scale, scale);
            drawPage(p, page);
            p.end();
            const QString name = QString::fromLatin1(doc.file).section(QLatin1Char('.'), 0, 0);
            image.save(previewFolder + QLatin1Char('/') + name + QStringLiteral("-%1.png").arg(page + 1));
        }
    }
    std::printf("%s: %d page(s)\n", doc.file, pages);
    return true;
}

// ---- the texts ----

const Document kManualEnglish = {
    "Q88000120.pdf",
    "Sonvex Editor - User's Manual",
    "For Sonvex Editor 1.1 as built here",
    {
        QStringLiteral("Sonvex Editor plays and converts high-resolution audio files. It opens PCM files (WAV, BWF and "
                       "RF64 with the extension .wav) and DSD files (DSF and DSDIFF, extensions .dsf and .dff), shows "
                       "their waveform, plays them through the audio device you choose, and exports the whole file "
                       "or a part of it as a new WAV, DSDIFF or DSF file at another rate or word length. It also "
                       "combines two files into one."),
        QStringLiteral("# The main window"),
        QStringLiteral("From top to bottom the window holds: the device and rate choice; the time counter and the "
                       "level meter; the waveform with its in and out points; the SET POINT buttons; the transport "
                       "buttons with OPEN, EXPORT and COMBINE; and the description of the open file."),
        QStringLiteral("| Control | What it does"),
        QStringLiteral("| Audio Device | The output device. Choose it before playing. With no device chosen PLAY "
                       "asks you to select one."),
        QStringLiteral("| Play Frequency | The rate at which the device runs. AUTO follows the rate of the open file; "
                       "a named rate keeps the device at that rate and the file is converted to it while it plays. "
                       "(offline) means the device is not available. Choosing a rate while playing stops playback; "
                       "the cursor stays where playback was."),
        QStringLiteral("| Time counter | Shows the cursor as hours:minutes:seconds.hundredths; while playing it follows "
                       "what you hear. Click it to type a time (see Moving the cursor)."),
        QStringLiteral("| Level meter | The level of the left (upper) and right (lower) channel. The OVER lamps at the "
                       "right light when the signal reaches full scale. Click the meter to put the lamps out."),
        QStringLiteral("| Waveform | The open file's waveform. A click places the cursor (and stops playback). "
                       "The in and out points are the handles at the start and the end of the marked range; drag "
                       "them to change the range."),
        QStringLiteral("| Scroll bar | Under the waveform: moves the view along the file when it is zoomed in."),
        QStringLiteral("| Time zoom - and + | At the right end of the scroll bar: show more or less of the file across "
                       "the view."),
        QStringLiteral("| Level zoom + and - | At the right of the waveform: enlarge or reduce the waveform's height."),
        QStringLiteral("| In Point, Out Point, In-Out | Under the waveform: the in point, the out point and the length "
                       "of the range between them."),
        QStringLiteral("| SET POINT IN / OUT | Move the in or the out point to the cursor. If the new in point lies "
                       "after the out point (or the new out point before the in point), the other point moves too "
                       "and the range keeps its length."),
        QStringLiteral("| Return button (left of STOP) | Plays from the in point."),
        QStringLiteral("| STOP | Stops playback. The cursor stays where playback stopped."),
        QStringLiteral("| PLAY | Plays from the cursor to the out point; it is lit while playing. Pressing it while "
                       "playing changes nothing (it does not pause). With the cursor at or after the out point there "
                       "is nothing to play and the button stays out: click the waveform or press the return button."),
        QStringLiteral("| OPEN | Opens a .wav, .dsf or .dff file (see Opening a file)."),
        QStringLiteral("| EXPORT | Opens the Export File window (see Exporting)."),
        QStringLiteral("| COMBINE | Opens the Combine Files window (see Combining two files)."),
        QStringLiteral("| File Name and the line below it | The open file's name, length, format, sampling rate, word "
                       "length and channels."),
        QStringLiteral("| Picture | At the bottom right: the cover picture stored in the file's tag, if it has one."),
        QStringLiteral("Until a file has been opened, the counter, the transport, SET POINT, EXPORT and the zoom "
                       "buttons are disabled."),
        QStringLiteral("# Choosing the output"),
        QStringLiteral("Choose the output device in Audio Device and the rate in Play Frequency. With AUTO the device "
                       "follows each file you open. A DSD file plays natively on a device that accepts DSD, as DSD "
                       "packed in PCM frames (DoP) on a device that passes it, or converted to PCM. When you choose a "
                       "DSD rate on a device whose DSD support is not known, the program asks how to play it."),
        QStringLiteral("# Opening a file"),
        QStringLiteral("Press OPEN and choose a file, or drop a file on the window. Only .wav, .dsf and .dff files are "
                       "accepted, at 44.1 kHz to 384 kHz (PCM) or 2.8 MHz to 11.2 MHz (DSD). The waveform is drawn "
                       "while the file is read; the in and out points cover the whole file and the cursor is at its "
                       "start. A file with more than two channels first asks which channel or pair of channels to "
                       "use; those channels are opened as a new file."),
        QStringLiteral("# Playing"),
        QStringLiteral("PLAY plays from the cursor to the out point and stops there; the cursor then stays at the "
                       "out point. STOP stops at once. The return button plays from the in point."),
        QStringLiteral("## Keys"),
        QStringLiteral("| Key | What it does"),
        QStringLiteral("| Space, or 0 on the keypad | Play, or stop while playing. Pressed while a button has the focus, "
                       "the program also says PLAY or STOP if the system has a speech engine."),
        QStringLiteral("| . on the keypad | Stop."),
        QStringLiteral("| 1 and 2 on the keypad | Move the cursor 5 seconds back or forward."),
        QStringLiteral("| 1 and 2 | Time zoom out and in."),
        QStringLiteral("| Left and Right arrows | Move the cursor to the previous or next mark stored in the file."),
        QStringLiteral("| F1 and F2 | Set the in point or the out point to the cursor."),
        QStringLiteral("# Moving the cursor"),
        QStringLiteral("Click the waveform, use the keys above, or type a time into the counter: click the counter, "
                       "select its text (Ctrl+A), type the time and press Return. Type hours, minutes and seconds "
                       "separated by colons, with hundredths after a point, for example 00:00:05.00 for five seconds; "
                       "a number without colons counts seconds, so 75 is 1 minute 15 seconds. A time past the end of "
                       "the file puts the cursor at the end. Esc leaves the counter unchanged."),
        QStringLiteral("# In and out points"),
        QStringLiteral("The range between the in and out points is what PLAY plays up to and what EXPORT writes. Set "
                       "the points by dragging their handles in the waveform, with SET POINT IN and OUT, or with F1 "
                       "and F2. In Point, Out Point and In-Out under the waveform show the range."),
        QStringLiteral("# Exporting"),
        QStringLiteral("EXPORT stops playback and opens the Export File window. Its upper part describes the open "
                       "file; in Export To you choose:"),
        QStringLiteral("- **Folder**: where the file is written; Select Folder chooses it."),
        QStringLiteral("- **File Name**: the name of the new file; the extension follows the format. The program "
                       "suggests the open file's name with the rate added."),
        QStringLiteral("- **File Format**: WAV(PCM), DSDIFF(DSD) or DSF(DSD)."),
        QStringLiteral("- **Frequency**: 44.1 kHz to 384 kHz for WAV, 2.8 MHz to 11.2 MHz for DSD."),
        QStringLiteral("- **Quantization Bit**: 16 bit, 24 bit or 32 bit float for WAV; 1 bit for DSD."),
        QStringLiteral("- **Channel**: STEREO, or DUAL MONO for two mono files ending in _01 (left) and _02 (right); a "
                       "mono file gives one mono file."),
        QStringLiteral("- **Apply Short Fade**: a short fade-in and fade-out at the ends of the range, so that it "
                       "starts and ends without a click."),
        QStringLiteral("Press EXPORT in the window to write the range between the in and out points. A progress "
                       "window shows the work, and Abort stops it; a message reports the result. An existing file "
                       "of the same name is replaced only after you confirm it; a blank name, a name too long for "
                       "the system and the open file itself as the destination are refused. PCM becomes DSD "
                       "through a delta-sigma modulator, DSD becomes PCM through decimation filters; a DSD file "
                       "exported to DSD at its own rate keeps its bits unchanged."),
        QStringLiteral("# Combining two files"),
        QStringLiteral("COMBINE opens the Combine Files window with the open file as the first file. Choose the mode:"),
        QStringLiteral("- **On the time axis**: the second file is appended to the first, one after the other."),
        QStringLiteral("- **Mono to Stereo**: two mono files become the left and right channels of one stereo file."),
        QStringLiteral("Drop each file on its area or choose it with Select; both must have the same format, "
                       "sampling rate, word length and number of channels. The program proposes a file name made of "
                       "the two names; change the folder or the name if you like and press COMBINE. The new file "
                       "must not replace either of the two files. A message reports the result."),
        QStringLiteral("# Menus"),
        QStringLiteral("- **Tools > OVER Indicator**: Holds 2 sec. puts the OVER lamps out two seconds after an over; "
                       "Holds Until Clicked keeps them lit until you click the meter."),
        QStringLiteral("- **Help > Manual**: this manual in English or Japanese. **Help > Ver1.1 what's new**: the "
                       "changes of version 1.1. If no PDF viewer is installed, the program says where the document "
                       "is so that you can open it yourself."),
        QStringLiteral("- **Help > About KAVELO Sonvex Editor** and **Help > Licenses**: the version and the licences "
                       "of the parts the program uses."),
        QStringLiteral("# Settings"),
        QStringLiteral("The program remembers the audio device, the play rate, the export choices (format, rate, word "
                       "length, short fade) and the OVER indicator setting from one run to the next."),
    }};

const Document kManualJapanese = {
    "Q88000101.pdf",
    "Sonvex Editor 取扱説明書",
    "このビルドの Sonvex Editor 1.1 について",
    {
        QStringLiteral("Sonvex Editor は、ハイレゾ音源ファイルを再生・変換するソフトウェアです。PCM ファイル "
                       "(WAV、BWF、RF64。拡張子 .wav) と DSD ファイル (DSF、DSDIFF。拡張子 .dsf、.dff) "
                       "を開いて波形を表示し、選んだオーディオデバイスで再生し、ファイル全体またはその一部を、"
                       "別の周波数やビット長の WAV、DSDIFF、DSF ファイルとして書き出します。2 "
                       "つのファイルを 1 つに結合することもできます。"),
        QStringLiteral("# メイン画面"),
        QStringLiteral("画面には上から順に、デバイスと周波数の選択、タイムカウンターとレベルメーター、"
                       "イン点・アウト点のある波形、SET POINT ボタン、再生ボタンと OPEN・EXPORT・COMBINE "
                       "ボタン、開いているファイルの情報があります。"),
        QStringLiteral("| 操作部 | 働き"),
        QStringLiteral("| Audio Device | 出力デバイス。再生の前に選びます。選ばずに PLAY を押すと、選ぶよう求められます。"),
        QStringLiteral("| Play Frequency | デバイスを動かす周波数。AUTO では開いたファイルの周波数に合わせます。"
                       "周波数を指定すると、デバイスはその周波数のままで、ファイルは再生しながら変換されます。"
                       "(offline) はデバイスが使えないことを示します。再生中に周波数を選ぶと再生は止まり、"
                       "カーソルは止まった位置に残ります。"),
        QStringLiteral("| タイムカウンター | カーソル位置を 時:分:秒.1/100秒 で表示します。再生中は聞こえている位置を"
                       "示します。クリックして時間を入力できます (「カーソルの移動」参照)。"),
        QStringLiteral("| レベルメーター | 左 (上) と右 (下) のレベル。右端の OVER ランプはフルスケールに達すると"
                       "点灯します。メーターをクリックするとランプが消えます。"),
        QStringLiteral("| 波形 | 開いたファイルの波形。クリックするとカーソルが移動します (再生中なら停止します)。"
                       "範囲の始めと終わりのハンドルがイン点とアウト点で、ドラッグして範囲を変えられます。"),
        QStringLiteral("| スクロールバー | 波形の下。拡大表示のとき、表示位置を動かします。"),
        QStringLiteral("| 時間ズーム - と + | スクロールバーの右端。表示する時間の幅を広げる・狭めます。"),
        QStringLiteral("| レベルズーム + と - | 波形の右。波形の高さを拡大・縮小します。"),
        QStringLiteral("| In Point、Out Point、In-Out | 波形の下。イン点、アウト点とその間の長さ。"),
        QStringLiteral("| SET POINT IN / OUT | イン点またはアウト点をカーソル位置に移します。新しいイン点がアウト点より"
                       "後ろ (またはアウト点がイン点より前) になるときは、範囲の長さを保ったままもう一方も動きます。"),
        QStringLiteral("| 先頭ボタン (STOP の左) | イン点から再生します。"),
        QStringLiteral("| STOP | 再生を止めます。カーソルは止めた位置に残ります。"),
        QStringLiteral("| PLAY | カーソル位置からアウト点まで再生し、再生中は点灯します。再生中に押しても何も変わりません "
                       "(一時停止はしません)。カーソルがアウト点またはその後ろにあるときは再生するものがなく、"
                       "ボタンは点灯しません。波形をクリックするか先頭ボタンを押してください。"),
        QStringLiteral("| OPEN | .wav、.dsf、.dff ファイルを開きます (「ファイルを開く」参照)。"),
        QStringLiteral("| EXPORT | Export File 画面を開きます (「書き出し」参照)。"),
        QStringLiteral("| COMBINE | Combine Files 画面を開きます (「2 つのファイルの結合」参照)。"),
        QStringLiteral("| File Name とその下の行 | 開いているファイルの名前、長さ、形式、周波数、ビット長、チャンネル数。"),
        QStringLiteral("| 画像 | 右下。ファイルのタグにジャケット画像があれば表示します。"),
        QStringLiteral("ファイルを開くまで、カウンター、再生ボタン、SET POINT、EXPORT、ズームボタンは使えません。"),
        QStringLiteral("# 出力の選択"),
        QStringLiteral("Audio Device で出力デバイスを、Play Frequency で周波数を選びます。AUTO "
                       "ではファイルを開くたびにその周波数に合わせます。DSD ファイルは、DSD に対応したデバイスでは"
                       "そのまま、DSD を PCM フレームに載せて通すデバイスでは DoP で、それ以外では PCM "
                       "に変換して再生します。DSD への対応が分からないデバイスで DSD の周波数を選ぶと、"
                       "再生方法を尋ねられます。"),
        QStringLiteral("# ファイルを開く"),
        QStringLiteral("OPEN を押してファイルを選ぶか、ファイルを画面にドロップします。開けるのは .wav、.dsf、.dff "
                       "ファイルで、周波数は 44.1 kHz から 384 kHz (PCM)、2.8 MHz から 11.2 MHz (DSD) です。"
                       "波形は読み込みながら描かれます。イン点とアウト点はファイル全体を囲み、カーソルは先頭に"
                       "置かれます。3 チャンネル以上のファイルでは、使う 1 チャンネルまたはステレオペアを選ぶと、"
                       "そのチャンネルが新しいファイルとして開かれます。"),
        QStringLiteral("# 再生"),
        QStringLiteral("PLAY でカーソル位置からアウト点まで再生し、そこで止まります。カーソルはアウト点に残ります。"
                       "STOP ですぐに止まります。先頭ボタンでイン点から再生します。"),
        QStringLiteral("## キー操作"),
        QStringLiteral("| キー | 働き"),
        QStringLiteral("| スペース、テンキーの 0 | 再生。再生中なら停止。ボタンにフォーカスがあるときは、"
                       "音声合成が使えれば PLAY または STOP と読み上げます。"),
        QStringLiteral("| テンキーの . | 停止。"),
        QStringLiteral("| テンキーの 1 と 2 | カーソルを 5 秒戻す・進める。"),
        QStringLiteral("| 1 と 2 | 時間ズームの縮小・拡大。"),
        QStringLiteral("| 左右の矢印キー | カーソルをファイル内の前後のマークへ移す。"),
        QStringLiteral("| F1 と F2 | イン点・アウト点をカーソル位置にする。"),
        QStringLiteral("# カーソルの移動"),
        QStringLiteral("波形をクリックするか、上のキーを使うか、カウンターに時間を入力します。カウンターをクリックし、"
                       "文字を選択して (Ctrl+A)、時間を入力して Return を押します。時・分・秒をコロンで区切り、"
                       "1/100 秒はピリオドの後に書きます (5 秒なら 00:00:05.00)。コロンのない数字は秒数で、75 は "
                       "1 分 15 秒です。ファイルの終わりより後の時間を入れると、カーソルは終わりに置かれます。"
                       "Esc で入力を取り消します。"),
        QStringLiteral("# イン点とアウト点"),
        QStringLiteral("イン点とアウト点の間が、PLAY が再生する範囲の終わりと、EXPORT が書き出す範囲です。波形の"
                       "ハンドルのドラッグ、SET POINT の IN と OUT、または F1 と F2 で設定します。範囲は波形の下の "
                       "In Point、Out Point、In-Out に表示されます。"),
        QStringLiteral("# 書き出し"),
        QStringLiteral("EXPORT を押すと再生が止まり、Export File 画面が開きます。上半分は開いているファイルの情報で、"
                       "Export To で次のものを選びます。"),
        QStringLiteral("- **Folder**: 書き出し先。Select Folder で選びます。"),
        QStringLiteral("- **File Name**: 新しいファイルの名前。拡張子は形式で決まります。開いているファイルの名前に"
                       "周波数を付けた名前が提案されます。"),
        QStringLiteral("- **File Format**: WAV(PCM)、DSDIFF(DSD)、DSF(DSD)。"),
        QStringLiteral("- **Frequency**: WAV は 44.1 kHz から 384 kHz、DSD は 2.8 MHz から 11.2 MHz。"),
        QStringLiteral("- **Quantization Bit**: WAV は 16 bit、24 bit、32 bit float、DSD は 1 bit。"),
        QStringLiteral("- **Channel**: STEREO、または _01 (左) と _02 (右) の 2 つのモノラルファイルにする DUAL "
                       "MONO。モノラルのファイルからはモノラルのファイルが 1 つできます。"),
        QStringLiteral("- **Apply Short Fade**: 範囲の両端に短いフェードを付け、始まりと終わりのノイズを防ぎます。"),
        QStringLiteral("画面の EXPORT を押すと、イン点からアウト点までを書き出します。進行状況が表示され、Abort "
                       "で中止できます。結果はメッセージで表示されます。同じ名前のファイルがあるときは、確認して"
                       "から置き換えます。空の名前、長すぎる名前、開いているファイル自身への書き出しは受け付け"
                       "ません。PCM はデルタシグマ変調で DSD に、DSD はデシメーションフィルターで PCM "
                       "に変換されます。DSD ファイルを同じ周波数の DSD として書き出すと、ビットはそのまま保たれます。"),
        QStringLiteral("# 2 つのファイルの結合"),
        QStringLiteral("COMBINE を押すと、開いているファイルを 1 つ目のファイルとして Combine Files "
                       "画面が開きます。モードを選びます。"),
        QStringLiteral("- **On the time axis**: 2 つ目のファイルを 1 つ目の後ろにつなぎます。"),
        QStringLiteral("- **Mono to Stereo**: 2 つのモノラルファイルを、1 つのステレオファイルの左右にします。"),
        QStringLiteral("それぞれのファイルを枠にドロップするか Select で選びます。2 つのファイルは形式、周波数、"
                       "ビット長、チャンネル数が同じでなければなりません。2 つの名前をつないだファイル名が提案"
                       "されます。必要ならフォルダーと名前を変えて COMBINE を押します。元の 2 "
                       "つのファイルを置き換える名前は使えません。結果はメッセージで表示されます。"),
        QStringLiteral("# メニュー"),
        QStringLiteral("- **Tools > OVER Indicator**: Holds 2 sec. では OVER ランプが 2 秒で消え、Holds Until "
                       "Clicked ではメーターをクリックするまで点灯します。"),
        QStringLiteral("- **Help > Manual**: この説明書 (英語・日本語)。**Help > Ver1.1 what's new**: バージョン "
                       "1.1 の変更点。PDF ビューアーがないときは、文書の場所が表示されるので、ほかの方法で"
                       "開いてください。"),
        QStringLiteral("- **Help > About KAVELO Sonvex Editor** と **Help > Licenses**: バージョンと、"
                       "使用しているソフトウェアのライセンス。"),
        QStringLiteral("# 設定"),
        QStringLiteral("オーディオデバイス、再生周波数、書き出しの設定 (形式、周波数、ビット長、ショートフェード)、"
                       "OVER 表示の設定は、次回の起動時にも引き継がれます。"),
    }};

const Document kSupplementEnglish = {
    "Sonvex_Editor_add-e_RevA.pdf",
    "Sonvex Editor Ver1.1 - What's New",
    "Rev. A",
    {
        QStringLiteral("# Combining two files"),
        QStringLiteral("The COMBINE button opens the Combine Files window. On the time axis appends a second file to "
                       "the first; Mono to Stereo makes the left and right channels of one stereo file from two mono "
                       "files. The two files must have the same format, rate, word length and number of channels."),
        QStringLiteral("# Files with more than two channels"),
        QStringLiteral("A file with more than two channels can be opened: choose one channel or a stereo pair, and "
                       "those channels are opened as a new file."),
        QStringLiteral("# OVER indicator"),
        QStringLiteral("Tools > OVER Indicator chooses whether the OVER lamps go out two seconds after an over (Holds "
                       "2 sec.) or stay lit until the meter is clicked (Holds Until Clicked). The choice is "
                       "remembered."),
        QStringLiteral("The manual (Help > Manual) describes every control of the window."),
    }};

const Document kSupplementJapanese = {
    "Sonvex_Editor_add-j_RevA.pdf",
    "Sonvex Editor Ver1.1 追加機能",
    "Rev. A",
    {
        QStringLiteral("# 2 つのファイルの結合"),
        QStringLiteral("COMBINE ボタンで Combine Files 画面が開きます。On the time axis は 2 つ目のファイルを 1 "
                       "つ目の後ろにつなぎ、Mono to Stereo は 2 つのモノラルファイルから 1 "
                       "つのステレオファイルの左右を作ります。2 つのファイルは形式、周波数、ビット長、"
                       "チャンネル数が同じでなければなりません。"),
        QStringLiteral("# 3 チャンネル以上のファイル"),
        QStringLiteral("3 チャンネル以上のファイルを開けるようになりました。1 チャンネルまたはステレオペアを選ぶと、"
                       "そのチャンネルが新しいファイルとして開かれます。"),
        QStringLiteral("# OVER 表示"),
        QStringLiteral("Tools > OVER Indicator で、OVER ランプを 2 秒で消すか (Holds 2 sec.)、メーターをクリック"
                       "するまで点灯させるか (Holds Until Clicked) を選べます。選択は保存されます。"),
        QStringLiteral("画面のすべての操作部は説明書 (Help > Manual) にあります。"),
    }};

}  // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString preview = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!preview.isEmpty()) QDir().mkpath(preview);
    // The Japanese texts need a Japanese font; the English ones read better
    // in a Latin sans serif when one is there.
    const int id =
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"));
    const QString japanese = id >= 0 ? QFontDatabase::applicationFontFamilies(id).value(0) : QString();
    const int latinId =
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    QString latin = latinId >= 0 ? QFontDatabase::applicationFontFamilies(latinId).value(0) : QString();
    if (latin.isEmpty()) latin = japanese;
    if (latinId >= 0)
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"));

    const struct {
        const Document *doc;
        const QString *family;
    } docs[] = {
        {&kManualEnglish, &latin},
        {&kManualJapanese, &japanese},
        {&kSupplementEnglish, &latin},
        {&kSupplementJapanese, &japanese},
    };
    int failures = 0;
    for (const auto &d : docs) {
        if (!write(folder, preview, *d.doc, *d.family)) {
            std::fprintf(stderr, "cannot write %s\n", d.doc->file);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
