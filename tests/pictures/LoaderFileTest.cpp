// The picture loader at its edges: damaged files and impossible sizes give no picture, quickly;
// special files are never opened; a real file is mapped and decoded; drawing scales and keeps
// what it scaled.
#include "DicomFixtures.h"
#include "LoaderSupport.h"
#include "PictFixtures.h"
#include "framework/files/FolderItem.h"
#include "framework/ui/GraphicsPrivate.h"

#include <QTemporaryDir>

#include <fstream>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

using namespace fixtures;
using namespace loader_test;

namespace {

const QImage kPattern = Pattern(64, 48);

std::vector<Fixture> OneOfEach()
{
    return {Jpeg(kPattern, {}), Jpeg(kPattern, {.progressive = true}), Png(kPattern, {}),
            Png(kPattern, {.interlaced = true}), Tiff(kPattern, {.compression = COMPRESSION_LZW}),
            Tiff(kPattern, {.tiled = true}), Gif(kPattern, {}), Bmp(kPattern, {}), Bmp(kPattern, {.bits = 8, .rle = true})};
}

// Runs a load on a thread of its own, so that a load that blocks fails the test instead of
// hanging it.
template <typename F>
auto WithinTime(F load)
{
    auto future = std::async(std::launch::async, load);
    if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the load did not finish within 20 s";
        std::_Exit(1); // the blocked thread can't be joined
    }
    return future.get();
}

TEST(DamagedPictures, TruncatedCorruptedAndEmptyGiveNoPicture)
{
    EXPECT_FALSE(Decode(QByteArray()));
    for (const Fixture& f : OneOfEach()) {
        ASSERT_TRUE(Decode(f.bytes)) << f.name;
        for (double keep : {0.1, 0.5, 0.8})
            EXPECT_FALSE(Decode(f.bytes.left(qsizetype(f.bytes.size() * keep)))) << f.name << " cut to " << keep;
        QByteArray corrupted = f.bytes;
        for (qsizetype i = 4; i < 40 && i < corrupted.size(); ++i)
            corrupted[i] = char(0xA5 ^ i);
        EXPECT_FALSE(Decode(corrupted)) << f.name << " with a corrupted header";
        // Anything at all in the middle: a picture or none, but no crash.
        QByteArray scrambled = f.bytes;
        for (qsizetype i = scrambled.size() / 3; i < scrambled.size() * 2 / 3; i += 7)
            scrambled[i] = char(scrambled[i] ^ 0x5A);
        auto p = Decode(scrambled);
        EXPECT_TRUE(!p || (p->width == kPattern.width() && p->height == kPattern.height()));
    }
}

// Headers that claim 100000 by 100000 pixels, and bombs: no picture, judged from the header.
TEST(DamagedPictures, ImpossibleSizesGiveNoPictureQuickly)
{
    for (const char* format : {"jpeg", "png", "tiff", "gif", "bmp"}) {
        const QByteArray claim = ClaimedSize(format, 100000, 100000);
        EXPECT_FALSE(WithinTime([&] { return Decode(claim).has_value(); })) << format;
    }
    EXPECT_FALSE(Decode(ClaimedSize("png", 60000, 60000)));
    EXPECT_FALSE(Decode(ClaimedSize("jpeg", 65500, 65500)));
    // Within the pixel bound but far more pixels than the file could hold.
    EXPECT_FALSE(Decode(ClaimedSize("jpeg", 9000, 9000)));
    EXPECT_FALSE(Decode(ClaimedSize("gif", 9000, 9000)));
    EXPECT_FALSE(Decode(ClaimedSize("tiff", 9000, 9000)));
}

TEST(DamagedPictures, ADecodePastItsDeadlineGivesNoPicture)
{
    fw::pictures::Budget late = Roomy();
    late.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    for (const Fixture& f : {Jpeg(kPattern, {}), Png(kPattern, {}), Png(kPattern, {.interlaced = true}),
                             Tiff(kPattern, {}), Tiff(kPattern, {.tiled = true})})
        EXPECT_FALSE(Decode(f.bytes, late)) << f.name;
}

class PictureFiles : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }
    void Write(const std::string& name, const QByteArray& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary).write(bytes.constData(), bytes.size());
    }
    fw::Ref<fw::Picture> Open(const std::string& name) const
    {
        fw::Ref<fw::FolderItem> item = fw::FolderItem::FromPath(Path(name));
        return WithinTime([&] { return item->OpenAsPicture(); });
    }
    QTemporaryDir dir_;
};

TEST_F(PictureFiles, ARealFileIsDecodedAtItsSizeAsShown)
{
    Write("turned.jpg", Jpeg(Pattern(200, 400), {.orientation = 6}).bytes);
    fw::Ref<fw::Picture> p = Open("turned.jpg");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Width(), 200);
    EXPECT_EQ(p->Height(), 400);
    Write("named-wrongly.gif", Png(kPattern, {}).bytes); // by content, not by name
    ASSERT_TRUE(Open("named-wrongly.gif"));
    EXPECT_EQ(Open("named-wrongly.gif")->Width(), 64);
    Write("empty.png", QByteArray());
    EXPECT_FALSE(Open("empty.png"));
    EXPECT_FALSE(Open("missing.png"));
}

// DICOM and PICT files reach their own readers from a real file, whatever they are named.
TEST_F(PictureFiles, DicomAndPictFilesAreDecodedByContent)
{
    dicom_fixtures::Fixture dicom;
    dicom.name = "plain";
    dicom.width = 40;
    dicom.height = 24;
    ASSERT_TRUE(dicom_fixtures::WriteDicom(dicom, Path("scan.tif")));
    fw::Ref<fw::Picture> d = Open("scan.tif");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Width(), 40);
    EXPECT_EQ(d->Height(), 24);
    const auto seeds = pict_fixtures::PictSeeds();
    ASSERT_FALSE(seeds.empty());
    Write("drawing.dcm", seeds.front().second);
    fw::Ref<fw::Picture> p = Open("drawing.dcm");
    ASSERT_TRUE(p) << seeds.front().first;
    EXPECT_GT(p->Width(), 0);
}

// Fifos, devices, folders and dangling links give no picture and are never opened: a fifo
// opened for reading would block until a writer came.
TEST_F(PictureFiles, SpecialFilesAreNeverOpened)
{
    ASSERT_EQ(mkfifo(Path("x.png").c_str(), 0600), 0);
    ASSERT_EQ(symlink(Path("x.png").c_str(), Path("link-to-fifo.png").c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", Path("zero.png").c_str()), 0);
    ASSERT_EQ(mkdir(Path("y.jpg").c_str(), 0700), 0);
    ASSERT_EQ(symlink(Path("gone.png").c_str(), Path("dangling.png").c_str()), 0);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, Path("x.png").c_str(), IN_OPEN), 0);
    ASSERT_GE(inotify_add_watch(watch, Path("y.jpg").c_str(), IN_OPEN), 0);
    for (const char* name : {"x.png", "link-to-fifo.png", "zero.png", "y.jpg", "dangling.png"})
        EXPECT_FALSE(Open(name)) << name;
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof(events)), 0) << "a special file was opened";
    close(watch);
}

TEST_F(PictureFiles, ALinkToAPictureOpensAsThePicture)
{
    Write("real.png", Png(kPattern, {}).bytes);
    ASSERT_EQ(symlink(Path("real.png").c_str(), Path("link.png").c_str()), 0);
    fw::Ref<fw::Picture> p = Open("link.png");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Height(), 48);
}

// A file cut short while it is being decoded from its mapping: the pages past its new end are
// read as zeros instead of stopping the program with SIGBUS, and the load gives no picture or
// a picture, never a crash.
TEST_F(PictureFiles, AFileCutShortDuringTheDecodeIsNoCrash)
{
    const QByteArray big = Bmp(Pattern(3000, 3000), {}).bytes; // 27 MB read row by row by Qt
    for (int delayMs : {1, 3, 8, 20}) {
        Write("shrinking.bmp", big);
        fw::Ref<fw::FolderItem> item = fw::FolderItem::FromPath(Path("shrinking.bmp"));
        std::thread cutter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ASSERT_EQ(truncate(Path("shrinking.bmp").c_str(), 4096), 0);
        });
        fw::Ref<fw::Picture> p = WithinTime([&] { return item->OpenAsPicture(); });
        cutter.join();
        EXPECT_TRUE(!p || p->Width() == 3000) << delayMs;
    }
}

QImage Draw(const fw::Ref<fw::Picture>& pic, QSize canvas, QRect target)
{
    QImage out(canvas, QImage::Format_ARGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    fw::PainterHandle handle(painter);
    fw::Graphics g(&handle, canvas.width(), canvas.height());
    g.DrawPicture(pic, target.x(), target.y(), target.width(), target.height(), 0, 0, pic->Width(), pic->Height());
    return out;
}

// Drawing scales the whole picture into the target, smoothly, and keeps the scaled copy for
// the next paint at the same size; another size scales afresh, a large image from its draft.
// A picture kept reduced is drawn whole all the same.
TEST(DrawPicture, ScalesIntoTheTargetAndKeepsWhatItScaled)
{
    const struct {
        QSize size;
        int keptSide;
    } cases[] = {{QSize(64, 48), 4096}, {QSize(3000, 2250), 4096}, {QSize(400, 200), 200}};
    for (const auto& [size, keptSide] : cases) {
        const Fixture f = QtWritten(Pattern(size.width(), size.height()), "png");
        fw::Ref<fw::Picture> pic = fw::DecodePicture(
            {reinterpret_cast<const uint8_t*>(f.bytes.constData()), size_t(f.bytes.size())}, Roomy(keptSide));
        ASSERT_TRUE(pic);
        ASSERT_EQ(pic->Data().image.width(), std::min(size.width(), keptSide));
        for (QRect target : {QRect(10, 20, 256, 192), QRect(0, 5, 256, 192), QRect(3, 0, 128, 96)}) {
            const QImage out = Draw(pic, QSize(300, 300), target);
            Fixture drawn{"drawn", {}, f.shown.scaled(target.size()), 2};
            ExpectShows(fw::pictures::DecodedPicture{out.copy(target), target.width(), target.height()}, drawn);
            EXPECT_EQ(out.pixel(target.x() + 2, target.bottom() + 3), qRgb(0, 0, 0)) << "drawn outside the target";
            EXPECT_EQ(pic->Data().scaled.size(), target.size());
        }
        const qint64 kept = pic->Data().scaled.cacheKey();
        Draw(pic, QSize(300, 300), QRect(3, 0, 128, 96));
        EXPECT_EQ(pic->Data().scaled.cacheKey(), kept) << "scaled again at the same size";
        EXPECT_EQ(pic->Data().draft.isNull(), size.width() < 2048);
    }
}

} // namespace
