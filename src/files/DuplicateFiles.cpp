// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder's file layer and its chunk and work files.
#include "DuplicateFiles.h"

#include "platform/WinePrefix.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Duplicate {

void Fail(const QString &message) { throw std::runtime_error(message.toStdString()); }

// --- file layer ------------------------------------------------------------------------------

TFileLayer::~TFileLayer() = default;

QString TFileLayer::HostRoot(QChar driveLetter) const
{
    const std::shared_ptr<TWinePrefix> prefix = TWinePrefix::Current();
    return prefix ? prefix->Drives().HostRoot(driveLetter.toUpper()) : QString();
}

TPathMapping TFileLayer::ToHost(const QString &windowsPath) const
{
    const std::shared_ptr<TWinePrefix> prefix = TWinePrefix::Current();
    return prefix ? prefix->Drives().ToHost(windowsPath) : TPathMapping{};
}

QList<TSearchRec> TFileLayer::ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted,
                                         const HostFiles::TListNeeds &needs) const
{
    return HostFiles::ListFolder(hostFolder, faulted, needs);
}

namespace {
// A file opened for reading with nothing between read() and the system call: the comparison
// opens tens of thousands of files for a few kilobytes each.
class TReadOnlyFile final : public QIODevice
{
public:
    explicit TReadOnlyFile(const QString &hostPath)
    {
        FFd = ::open(QFile::encodeName(hostPath).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (FFd >= 0)
            QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    ~TReadOnlyFile() override
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override
    {
        struct stat st;
        return FFd >= 0 && ::fstat(FFd, &st) == 0 ? qint64(st.st_size) : 0;
    }
    bool seek(qint64 position) override
    {
        return FFd >= 0 && ::lseek(FFd, off_t(position), SEEK_SET) == off_t(position) && QIODevice::seek(position);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        // A file read in large blocks is read whole: the system may read further ahead.
        if (!FSequential && maxSize >= (qint64(64) << 10)) {
            ::posix_fadvise(FFd, 0, 0, POSIX_FADV_SEQUENTIAL);
            FSequential = true;
        }
        while (true) {
            const ssize_t n = ::read(FFd, data, std::size_t(maxSize));
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int FFd = -1;
    bool FSequential = false;
};
}  // namespace

std::unique_ptr<QIODevice> TFileLayer::OpenRead(const QString &hostPath) const
{
    return std::make_unique<TReadOnlyFile>(hostPath);
}

std::shared_ptr<const TFileLayer> DefaultFileLayer()
{
    static const auto layer = std::make_shared<const TFileLayer>();
    return layer;
}

QString HostPathOf(const QString &hostRoot, const QString &windowsPath)
{
    QString rest = windowsPath.mid(2);
    rest.replace(u'\\', u'/');
    if (hostRoot.endsWith(u'/') && rest.startsWith(u'/'))
        rest.remove(0, 1);
    return hostRoot + rest;
}

// --- chunk and work files ------------------------------------------------------------------

QString ChunkName(const QString &baseName, qint64 index)
{
    return baseName + u'.' + QStringLiteral("%1").arg(index, 3, 10, QLatin1Char('0'));
}

QString WorkFileName(const QString &baseName) { return baseName + QStringLiteral(".$$$"); }

void RemoveTemporaries(const QString &baseName)
{
    const QFileInfo base(baseName);
    const QString prefix = base.fileName() + u'.';
    QDir folder = base.absoluteDir();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(prefix))
            continue;
        const QStringView rest = QStringView(name).mid(prefix.size());
        bool digits = rest.size() >= 3;
        for (QChar c : rest)
            digits = digits && c.isDigit() && c.unicode() < 128;
        if (digits || rest == u"$$$")
            folder.remove(name);  // a chunk left behind is never merged, even if it stays
    }
}

}  // namespace Duplicate
