// Opening a file as a picture. Decoding goes by the file's content, not its name, and is
// bounded: a file that is not a picture, is damaged, or would need more memory than the bounds
// below gives no picture rather than a failure.
#include "GraphicsPrivate.h"
#include "framework/files/FolderItem.h"

#include <QBuffer>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {
namespace {

constexpr qint64 kMaxFileBytes = qint64(1) << 30;     // 1 GiB read at most
constexpr qint64 kMaxDecodedPixels = 120'000'000;     // about 480 MB decoded
constexpr int kMaxKeptSide = 4096;                    // larger pictures keep a reduced copy

// Reads a regular file whole; nothing for fifos, devices and the like, which could block.
bool ReadRegularFile(FolderItem& item, QByteArray& out)
{
    Ref<FolderItem> parent = item.Parent();
    int dir = parent ? parent->OpenDirectoryFd() : -1;
    if (parent && dir < 0)
        return false;
    std::string name = item.Name().str();
    int fd = parent ? openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (dir >= 0)
        close(dir);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxFileBytes;
    if (ok) {
        out.resize(st.st_size);
        qint64 got = 0;
        while (ok && got < st.st_size) {
            ssize_t n = read(fd, out.data() + got, st.st_size - got);
            ok = n > 0 || (n < 0 && errno == EINTR);
            got += n > 0 ? n : 0;
        }
    }
    close(fd);
    return ok;
}

} // namespace

Ref<Picture> DecodePicture(const QByteArray& bytes)
{
    QByteArray data = bytes; // QBuffer wants a mutable array; this shares it
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return nullptr;
    qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > kMaxDecodedPixels) {
        if (!reader.supportsOption(QImageIOHandler::ScaledSize))
            return nullptr;
        reader.setScaledSize(size.scaled(kMaxKeptSide, kMaxKeptSide, Qt::KeepAspectRatio));
    }
    QImageReader::setAllocationLimit(int(kMaxDecodedPixels * 4 / (1024 * 1024)) + 1);
    QImage image = reader.read();
    if (image.isNull())
        return nullptr;
    if (image.width() > kMaxKeptSide || image.height() > kMaxKeptSide)
        image = image.scaled(kMaxKeptSide, kMaxKeptSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    auto picture = std::make_unique<PictureData>();
    picture->image = std::move(image);
    picture->width = size.width();
    picture->height = size.height();
    return MakeRef<Picture>(std::move(picture));
}

Ref<Picture> FolderItem::OpenAsPicture()
{
    QByteArray bytes;
    if (!ReadRegularFile(*this, bytes))
        return nullptr;
    return DecodePicture(bytes);
}

} // namespace fw
