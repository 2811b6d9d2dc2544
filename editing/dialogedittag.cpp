#include "editing/dialogedittag.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <type_traits>

#include "editing/exportrules.h"  // exportIsLatin1
#include "editing/tagtexts.h"
#include "morphex/morphexapi.h"
#include "ui_dialogedittag.h"

namespace {

// The unversioned name: the editor takes whatever build of the library
// sits beside the program.
const char *const kTagLibraryName = "libmorphex.so";

const char *const kNoPhoto = ":/resources2/parts/NoPhoto.png";

QString sLibraryPathOverride;

enum tTagColumn : int {
    kColTrack = 0,
    kColTitle = 1,
    kColAlbum = 2,
    kColArtist = 3,
    kColGenre = 4,
    kColMonth = 5,
    kColDay = 6,
    kColYear = 7,
    kColHour = 8,
    kColMinute = 9,
    kColSecond = 10,
    kColFrame = 11,
    kColDateLabel = 13,
    kColStartTcLabel = 14,
    kColComment = 15,
    kColAlbumArt = 16,
};

// The item of a box for a value, or no selection when the box has none.
void selectItem(QComboBox *box, int index) { box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1); }

// A field's text read as a decimal integer; 0 when it is not one.
int fieldNumber(const QLineEdit *field) {
    bool ok = false;
    const int v = field->text().trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

}  // namespace

const uint8_t DialogEditTag::sTagDisableTable[kTagTypeCount][kTagColumnCount] = {
    {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1},  // WAV export
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0},  // FLAC
    {1, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1},  // DSDIFF
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0},  // DSF
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1},  // WSD
};

DialogEditTag::tOpenFileNameFunc DialogEditTag::sGetOpenFileName = [](QWidget *parent, const QString &caption,
                                                                      const QString &dir, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
};

DialogEditTag::tCurrentDateTimeFunc DialogEditTag::sCurrentDateTime = [] { return QDateTime::currentDateTime(); };

void DialogEditTag::setLibraryPath(const QString &path) { sLibraryPathOverride = path; }

QString DialogEditTag::libraryPath() {
    if (!sLibraryPathOverride.isEmpty()) return sLibraryPathOverride;
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kTagLibraryName);
}

DialogEditTag::tOwnedTagRecord::tOwnedTagRecord()
    : title(kTagTextUnits, 0),
      artist(kTagTextUnits, 0),
      album(kTagTextUnits, 0),
      genre(kTagTextUnits, 0),
      picturePath(kTagTextUnits, 0),
      comment(kTagCommentUnits, 0) {
    info.title = title.data();
    info.artist = artist.data();
    info.album = album.data();
    info.genre = genre.data();
    info.picturePath = picturePath.data();
    info.comment = comment.data();
}

DialogEditTag::DialogEditTag(QWidget *parent) : QDialog(parent), ui(new Ui::DialogEditTag) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setupGenreBox();

    mColumnWidgets[kColTrack] = {ui->labelNo, ui->lineEditTrack, ui->labelSlash_track, ui->lineEditTotalTrack};
    mColumnWidgets[kColTitle] = {ui->labelTitle, ui->lineEditTitle};
    mColumnWidgets[kColAlbum] = {ui->labelAlbum, ui->lineEditAlbum};
    mColumnWidgets[kColArtist] = {ui->labelArtist, ui->lineEditArtist};
    mColumnWidgets[kColGenre] = {ui->labelGenre, ui->comboBoxGenre};
    mColumnWidgets[kColMonth] = {ui->comboBox_Month, ui->labelSlash, ui->labelSlash2};
    mColumnWidgets[kColDay] = {ui->comboBox_Day};
    mColumnWidgets[kColYear] = {ui->lineEditYear};
    mColumnWidgets[kColHour] = {ui->comboBox_Hour};
    mColumnWidgets[kColMinute] = {ui->comboBoxMin, ui->labelColon};
    mColumnWidgets[kColSecond] = {ui->comboBoxSec, ui->labelColon_2};
    mColumnWidgets[kColFrame] = {ui->comboBoxFrm, ui->labelSemiColon};
    mColumnWidgets[kColDateLabel] = {ui->labelDateTime};
    mColumnWidgets[kColComment] = {ui->labelComment, ui->lineEditComment};
    mColumnWidgets[kColAlbumArt] = {ui->labelJacket, ui->labelPhoto, ui->pushButtonPhoto};

    mId3tagInformation = morphexBinding(libraryPath()).id3tagInformation;

    mAlbumArtDir = QDir(QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).value(0));

    // The picture of a loaded tag is written by the library under a name
    // that others could guess; in a folder of our own (mode 0700) nobody
    // else can put a file or a link there first, or read the picture.
    mPictureDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sonvexEditor_tag.XXXXXX"));
    if (mPictureDir->isValid()) {
        mPictureTemplate = mPictureDir->path() + QStringLiteral("/sonvexEditor_loadedTag.XXXXXX");
        // A path that does not fit the record is left empty: the library then
        // reads the texts of a tag but writes no picture.
        if (tagTextFits(mPictureTemplate, kTagTextUnits))
            tagTextToBuffer(mPictureTemplate, mLoadRecord.info.picturePath, kTagTextUnits);
        else
            mPictureTemplate.clear();
    }

    showNoPhoto();
    setTagType(kTagTypeWav);
}

DialogEditTag::~DialogEditTag() { delete ui; }

bool DialogEditTag::checkLatinCharacter(const QString &text) { return exportIsLatin1(text); }

void DialogEditTag::setupGenreBox() {
    mGenreList = tagGenreList();
    ui->comboBoxGenre->clear();
    ui->comboBoxGenre->addItems(mGenreList);
    ui->comboBoxGenre->setCurrentIndex(-1);
}

void DialogEditTag::initTemporaryID3tagInfo() { mConfirmed = tConfirmedTag(); }

int DialogEditTag::getGenreUiIndexFromGenreNumber(int number) {
    const QString name = tagGenreNameOfNumber(number);
    if (name.isEmpty()) return -1;
    const int at = mGenreList.indexOf(name);
    return at > 0 ? at - 1 : -1;
}

bool DialogEditTag::disabled(int column) const { return sTagDisableTable[mTagType][column] != 0; }

void DialogEditTag::setTagType(tEnumTagType type) {
    mTagType = type >= kTagTypeWav && type <= kTagTypeWsd ? type : kTagTypeWav;
    for (int column = 0; column < kTagColumnCount; ++column)
        for (QWidget *w : mColumnWidgets[column]) w->setEnabled(!disabled(column));
    if (disabled(kColStartTcLabel)) {
        ui->labelTC->hide();
    } else {
        ui->labelTC->show();
        ui->labelTC->raise();
    }
    ui->pushButtonGetTime->setEnabled(true);
}

void DialogEditTag::showNoPhoto() { ui->labelPhoto->setPixmap(QPixmap(QString::fromLatin1(kNoPhoto))); }

void DialogEditTag::showPicture(const QString &path) {
    // A file that is no picture leaves the label empty.
    ui->labelPhoto->setPixmap(QPixmap(path));
}

void DialogEditTag::setID3tagInfo(tID3tagInfo *info) {
    if (!info) return;
    const auto text = [&](int column, const wchar16 *buffer, int units, QLineEdit *field) {
        QString s = disabled(column) ? QString() : tagTextFromBuffer(buffer, units);
        if (mTagType == kTagTypeDsdiff && (column == kColTitle || column == kColArtist) && !checkLatinCharacter(s))
            s.clear();
        field->setText(s);
    };
    text(kColAlbum, info->album, kTagTextUnits, ui->lineEditAlbum);
    text(kColComment, info->comment, kTagCommentUnits, ui->lineEditComment);
    text(kColTitle, info->title, kTagTextUnits, ui->lineEditTitle);
    text(kColArtist, info->artist, kTagTextUnits, ui->lineEditArtist);

    if (info->year < 0 || disabled(kColYear))
        ui->lineEditYear->clear();
    else
        ui->lineEditYear->setText(QString::number(info->year));

    selectItem(ui->comboBox_Month, disabled(kColMonth) ? -1 : info->month - 1);
    selectItem(ui->comboBox_Day, disabled(kColDay) ? -1 : info->day - 1);
    selectItem(ui->comboBox_Hour, disabled(kColHour) ? -1 : info->hour);
    selectItem(ui->comboBoxMin, disabled(kColMinute) ? -1 : info->minute);
    selectItem(ui->comboBoxSec, disabled(kColSecond) ? -1 : info->second);
    selectItem(ui->comboBoxFrm, disabled(kColFrame) ? -1 : info->frame);

    if (!info->hasPicture || disabled(kColAlbumArt)) {
        showNoPhoto();
        mPicturePath.clear();
        mHasPicture = false;
    } else {
        mPicturePath = tagTextFromBuffer(info->picturePath, kTagTextUnits);
        mHasPicture = true;
        showPicture(mPicturePath);
    }

    const int genre = mGenreList.indexOf(tagTextFromBuffer(info->genre, kTagTextUnits));
    if (genre >= 0) ui->comboBoxGenre->setCurrentIndex(genre);
}

bool DialogEditTag::getEditedTagInfo(tID3tagInfo *info) {
    if (!info) return mConfirmed.hasPicture;
    info->trackNo = mConfirmed.trackNo;
    info->totalTracks = mConfirmed.totalTracks;
    info->year = mConfirmed.year;
    info->month = mConfirmed.month;
    info->day = mConfirmed.day;
    info->hour = mConfirmed.hour;
    info->minute = mConfirmed.minute;
    info->second = mConfirmed.second;
    info->frame = mConfirmed.frame;
    tagTextToBuffer(mConfirmed.title, info->title, kTagTextUnits);
    tagTextToBuffer(mConfirmed.album, info->album, kTagTextUnits);
    tagTextToBuffer(mConfirmed.artist, info->artist, kTagTextUnits);
    tagTextToBuffer(mConfirmed.genre, info->genre, kTagTextUnits);
    tagTextToBuffer(mConfirmed.comment, info->comment, kTagCommentUnits);
    // A cut path would name another file, or none.
    const bool pathFits = tagTextFits(mConfirmed.picturePath, kTagTextUnits);
    tagTextToBuffer(pathFits ? mConfirmed.picturePath : QString(), info->picturePath, kTagTextUnits);
    info->hasPicture = mConfirmed.hasPicture && pathFits ? 1 : 0;
    return info->hasPicture != 0;
}

void DialogEditTag::accept() {
    if (mTagType == kTagTypeDsdiff && !checkLatinCharacter(ui->lineEditTitle->text())) {
        QMessageBox::warning(this, tr("Warning"), tr("Latin Characters are only supported in the DSDIFF file."));
        return;
    }

    tConfirmedTag c;
    c.trackNo = fieldNumber(ui->lineEditTrack);
    c.totalTracks = fieldNumber(ui->lineEditTotalTrack);
    c.year = fieldNumber(ui->lineEditYear);
    c.title = ui->lineEditTitle->text();
    c.album = ui->lineEditAlbum->text();
    c.artist = ui->lineEditArtist->text();
    c.comment = ui->lineEditComment->text();
    const int genre = ui->comboBoxGenre->currentIndex();
    c.genre = genre > 0 ? mGenreList.value(genre) : QString();
    c.month = ui->comboBox_Month->currentIndex() + 1;
    c.day = ui->comboBox_Day->currentIndex() + 1;
    c.hour = ui->comboBox_Hour->currentIndex();
    c.minute = ui->comboBoxMin->currentIndex();
    c.second = ui->comboBoxSec->currentIndex();
    c.frame = ui->comboBoxFrm->currentIndex();
    c.picturePath = mPicturePath;
    c.hasPicture = mHasPicture;
    mConfirmed = c;

    emit id3paramsConfirmed();
    QDialog::accept();
}

QString DialogEditTag::nextLoadedPicturePath() {
    if (mPictureTemplate.isEmpty()) return QString();
    ++mLoadCount;
    QString path = mPictureTemplate;
    path.replace(path.size() - 6, 6, QStringLiteral("%1").arg(mLoadCount, 6, 10, QLatin1Char('0')));
    return path;
}

void DialogEditTag::on_pushButtonLoad_clicked() {
    gInitTagInfo(&mLoadRecord.info);
    if (!mId3tagInformation) {
        QMessageBox::warning(this, tr("Warning"), tr("The conversion library could not be loaded."));
        return;
    }
    const QString path =
        sGetOpenFileName(this, tr("Please Select the Audio file to load tag data"), QDir::currentPath(),
                         tr("Supported files (*.wav *.dsf *.dff);;All files (*.*)"));
    if (path.isEmpty()) return;

    QDir::setCurrent(QFileInfo(path).absolutePath());
    // Each load writes its picture to a file of its own: the confirmed tag,
    // the copied tag and the owner's record may still name an earlier one.
    tagTextToBuffer(nextLoadedPicturePath(), mLoadRecord.info.picturePath, kTagTextUnits);
    (void)mId3tagInformation(kId3tagLoad, kAudioFileByExtension, reinterpret_cast<const wchar16 *>(path.utf16()),
                             &mLoadRecord.info);
    setID3tagInfo(&mLoadRecord.info);
}

void DialogEditTag::on_pushButtonPhoto_clicked() {
    const QString path = sGetOpenFileName(this, tr("Please select the album art file"), mAlbumArtDir.path(),
                                          tr("Supported files (*.jpg *.jpeg *.png) ;;All files (*.*)"));
    if (path.isEmpty()) return;
    mAlbumArtDir = QFileInfo(path).absoluteDir();
    // The tag record keeps the path in a buffer of fixed size; a cut path
    // would name another file.
    if (!tagTextFits(path, kTagTextUnits)) {
        QMessageBox::warning(this, tr("Warning"), tr("The path of the album art file is too long."));
        return;
    }
    showPicture(path);
    mPicturePath = path;
    mHasPicture = true;
}

void DialogEditTag::on_pushButtonGetTime_clicked() {
    const QDateTime now = sCurrentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    if (disabled(kColYear))
        ui->lineEditYear->clear();
    else
        ui->lineEditYear->setText(QString::number(date.year()));
    selectItem(ui->comboBox_Month, disabled(kColMonth) ? -1 : date.month() - 1);
    selectItem(ui->comboBox_Day, disabled(kColDay) ? -1 : date.day() - 1);
    selectItem(ui->comboBox_Hour, disabled(kColHour) ? -1 : time.hour());
    selectItem(ui->comboBoxMin, disabled(kColMinute) ? -1 : time.minute());
    selectItem(ui->comboBoxSec, disabled(kColSecond) ? -1 : time.second());
    selectItem(ui->comboBoxFrm, disabled(kColFrame) ? -1 : 0);
}

void DialogEditTag::on_pushButtonReset_clicked() {
    for (QLineEdit *field :
         {ui->lineEditTitle, ui->lineEditAlbum, ui->lineEditArtist, ui->lineEditComment, ui->lineEditYear})
        field->clear();
    for (QComboBox *box : {ui->comboBoxGenre, ui->comboBox_Month, ui->comboBox_Day, ui->comboBox_Hour, ui->comboBoxMin,
                           ui->comboBoxSec, ui->comboBoxFrm})
        box->setCurrentIndex(-1);
    showNoPhoto();
    mHasPicture = false;
}

void DialogEditTag::on_pushButtonCopy_clicked() { getEditedTagInfo(&mCopyRecord.info); }

void DialogEditTag::on_pushButtonPaste_clicked() { setID3tagInfo(&mCopyRecord.info); }
