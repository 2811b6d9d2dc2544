// Writes the four Help documents (the manual and the Ver1.1 supplement, in
// English and Japanese) with Qt's PDF writer. The PDFs beside this file are
// its output and are what the build installs; run it again after changing a
// text:
//   g++ -std=c++17 -fPIC makemanuals.cpp $(pkg-config --cflags --libs Qt6Gui) -o makemanuals
//   QT_QPA_PLATFORM=offscreen ./makemanuals <this folder>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <QTextDocument>

#include <cstdio>

namespace {

struct Document {
    const char *file;
    const char *title;
    QStringList paragraphs;  // "# " starts a heading
};

QString html(const Document &doc) {
    QString out = QStringLiteral("<h1>%1</h1>").arg(QString::fromUtf8(doc.title).toHtmlEscaped());
    for (const QString &p : doc.paragraphs) {
        if (p.startsWith(QLatin1String("# ")))
            out += QStringLiteral("<h2>%1</h2>").arg(p.mid(2).toHtmlEscaped());
        else
            out += QStringLiteral("<p>%1</p>").arg(p.toHtmlEscaped());
    }
    return out;
}

bool write(const QString &folder, const Document &doc, const QString &family) {
    QPdfWriter pdf(folder + QLatin1Char('/') + QString::fromLatin1(doc.file));
    pdf.setTitle(QString::fromUtf8(doc.title));
    pdf.setCreator(QStringLiteral("Sonvex Editor"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(300);
    QTextDocument text;
    QFont font(family);
    font.setPointSize(11);
    text.setDefaultFont(font);
    text.setHtml(html(doc));
    text.setPageSize(QSizeF(pdf.width(), pdf.height()));
    if (text.size().height() > pdf.height()) {
        std::fprintf(stderr, "%s does not fit on one page\n", doc.file);
        return false;
    }
    QPainter painter;
    if (!painter.begin(&pdf)) return false;
    text.drawContents(&painter);  // each text is one page
    painter.end();
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const int id =
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"));
    const QString family = id >= 0 ? QFontDatabase::applicationFontFamilies(id).value(0) : QString();

    const Document docs[] = {
        {"Q88000120.pdf",
         "Sonvex Editor - User's Manual",
         {QStringLiteral("Sonvex Editor plays and converts high-resolution audio files: PCM files (WAV, BWF, RF64) and "
                         "DSD files (DSF, DSDIFF)."),
          QStringLiteral("# Choosing the output"),
          QStringLiteral(
              "Pick the output device in the Audio Device list at the top of the window and the playing rate in the "
              "Play Frequency list. AUTO follows the rate of the open file. DSD files play natively on devices that "
              "accept DSD, as DSD packed in PCM frames on devices that pass it, or converted to PCM."),
          QStringLiteral("# Opening a file"),
          QStringLiteral("Press OPEN, or drop a .wav, .dsf or .dff file on the window. The file's name, type, rate, "
                         "word length, channels and length appear at the bottom, its waveform in the middle. A file "
                         "with more than two channels asks which channels to use."),
          QStringLiteral("# Playing"),
          QStringLiteral("PLAY starts and pauses, STOP stops, and the return button plays from the start. The counter "
                         "shows the position; the meter shows the level of both channels, and the OVER lamps light "
                         "when a signal reaches full scale. Tools > OVER Indicator sets whether the lamps go out after "
                         "two seconds or stay lit until the meter is clicked."),
          QStringLiteral("# In and out points"),
          QStringLiteral("Click in the waveform to place the cursor and press IN or OUT under SET POINT. The in and "
                         "out points and the time between them are shown under the waveform. The zoom buttons enlarge "
                         "the time axis and the level axis."),
          QStringLiteral("# Exporting"),
          QStringLiteral(
              "EXPORT writes the file, or the part between the in and out points, as WAV, DSDIFF or DSF at the rate "
              "and word length you choose, in stereo or as two mono files, with an optional short fade at both ends."),
          QStringLiteral("# Combining"),
          QStringLiteral("COMBINE joins two files one after the other, or two mono files into one stereo file."),
          QStringLiteral("# Settings"),
          QStringLiteral("The program remembers the device, the playing rate, the export choices and the OVER "
                         "indicator setting from one run to the next.")}},
        {"Q88000101.pdf",
         "Sonvex Editor 取扱説明書",
         {QStringLiteral("Sonvex Editor は、PCM ファイル (WAV、BWF、RF64) と DSD ファイル (DSF、DSDIFF) "
                         "のハイレゾ音源を再生・変換するソフトウェアです。"),
          QStringLiteral("# 出力の選択"),
          QStringLiteral(
              "画面上部の Audio Device で出力デバイスを、Play Frequency で再生周波数を選びます。AUTO "
              "を選ぶと開いたファイルの周波数で再生します。DSD ファイルは、DSD に対応したデバイスではそのまま、DSD を "
              "PCM フレームに載せて通すデバイスではその形で、それ以外では PCM に変換して再生します。"),
          QStringLiteral("# ファイルを開く"),
          QStringLiteral(
              "OPEN を押すか、.wav、.dsf、.dff "
              "ファイルを画面にドロップします。画面下部にファイル名、形式、周波数、ビット長、チャンネル数、長さが、中央"
              "に波形が表示されます。3 チャンネル以上のファイルでは、使うチャンネルを選びます。"),
          QStringLiteral("# 再生"),
          QStringLiteral("PLAY で再生と一時停止、STOP "
                         "で停止、先頭ボタンで先頭から再生します。カウンターに再生位置が、メーターに左右のレベルが表示"
                         "され、フルスケールに達すると OVER ランプが点灯します。Tools > OVER Indicator で、ランプを 2 "
                         "秒で消すか、メーターをクリックするまで点灯させるかを選べます。"),
          QStringLiteral("# イン点とアウト点"),
          QStringLiteral("波形をクリックしてカーソルを置き、SET POINT の IN または OUT "
                         "を押します。イン点、アウト点とその間の時間が波形の下に表示されます。ズームボタンで時間軸とレ"
                         "ベル軸を拡大できます。"),
          QStringLiteral("# 書き出し"),
          QStringLiteral("EXPORT で、ファイル全体またはイン点からアウト点までを、選んだ周波数とビット長の "
                         "WAV、DSDIFF、DSF ファイルとして書き出します。ステレオまたは 2 "
                         "つのモノラルファイルを選べ、両端に短いフェードを付けることもできます。"),
          QStringLiteral("# 結合"),
          QStringLiteral("COMBINE で、2 つのファイルを順につなぐか、2 つのモノラルファイルを 1 "
                         "つのステレオファイルにまとめます。"),
          QStringLiteral("# 設定"),
          QStringLiteral("デバイス、再生周波数、書き出しの設定、OVER 表示の設定は、次回の起動時にも引き継がれます。")}},
        {"Sonvex_Editor_add-e_RevA.pdf",
         "Sonvex Editor Ver1.1 - What's New",
         {QStringLiteral("# Combine"),
          QStringLiteral(
              "The COMBINE button joins two files one after the other, or two mono files into one stereo file."),
          QStringLiteral("# Multichannel files"),
          QStringLiteral("Files with more than two channels can be opened: choose a single channel or a stereo pair, "
                         "and the program opens those channels as a new file."),
          QStringLiteral("# OVER indicator"),
          QStringLiteral("Tools > OVER Indicator chooses whether the OVER lamps go out after two seconds or stay lit "
                         "until the meter is clicked. The choice is remembered.")}},
        {"Sonvex_Editor_add-j_RevA.pdf",
         "Sonvex Editor Ver1.1 追加機能",
         {QStringLiteral("# 結合"),
          QStringLiteral("COMBINE ボタンで、2 つのファイルを順につなぐか、2 つのモノラルファイルを 1 "
                         "つのステレオファイルにまとめられます。"),
          QStringLiteral("# マルチチャンネルファイル"),
          QStringLiteral("3 チャンネル以上のファイルを開けるようになりました。1 "
                         "チャンネルまたはステレオペアを選ぶと、そのチャンネルを新しいファイルとして開きます。"),
          QStringLiteral("# OVER 表示"),
          QStringLiteral("Tools > OVER Indicator で、OVER ランプを 2 "
                         "秒で消すか、メーターをクリックするまで点灯させるかを選べます。選択は保存されます。")}},
    };
    int failures = 0;
    for (const Document &doc : docs) {
        if (!write(folder, doc, family)) {
            std::fprintf(stderr, "cannot write %s\n", doc.file);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
