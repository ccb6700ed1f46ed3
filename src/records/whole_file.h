#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>

class QTemporaryFile;

namespace oxtiva
{

// Writes the bytes through a temporary file in the same folder that replaces the target
// only once complete, so a full disk or a crash never leaves a truncated record. On
// failure returns false with the reason in errorText.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& errorText);

// Takes the next piece of a file's bytes; false stops the writing.
using TPieceSink = std::function<bool(QByteArrayView piece)>;
// As above, with the bytes handed over in pieces by aProduce, which returns false once a
// piece was refused: a month of records is written without ever being held whole.
bool WriteWholeFile(const QString& path, const std::function<bool(const TPieceSink&)>& aProduce,
                    QString& errorText);

// A file's name lives in its folder: until the folder is flushed too, a power cut can keep
// a file's bytes and lose its name.
bool SyncFolder(const QString& folder, QString& errorText);

// Flushes a file's data to the disk (fdatasync / FlushFileBuffers).
bool SyncFileData(int handle, QString& errorText);

// CRC-32 (zlib's) of bytes, continuing from an earlier value.
quint32 Crc32(QByteArrayView bytes, quint32 previous = 0);

// Size and CRC-32 of a whole file, read in pieces; false when it cannot be read.
bool FileChecksum(const QString& path, qint64& size, quint32& checksum);

enum class TPublishResult { Written, NameTaken, Failed };

// A file written in pieces under a temporary name in its folder that takes its final name
// only once it is complete and on the disk, and never takes a name another file has: a
// second copy of the program, or a file put there by hand, keeps its file.
class TNewFile
{
  public:
    explicit TNewFile(const QString& folder);
    // A file never published is removed.
    ~TNewFile();
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;

    bool Open(QString& errorText);
    bool Write(QByteArrayView bytes, QString& errorText);
    // Flushes the bytes, gives the file the path's name unless a file has it already, and
    // flushes the folder.
    TPublishResult Publish(const QString& path, QString& errorText);

    // What was written, for a later check that the file still holds it.
    qint64 Size() const { return fSize; }
    quint32 Checksum() const { return fChecksum; }

  private:
    QString fFolder;
    std::unique_ptr<QTemporaryFile> fFile;
    QString fClosedPath; // Windows: the written file, let go of, waiting for its name
    bool fSynced = false;
    qint64 fSize = 0;
    quint32 fChecksum = 0;
};

} // namespace oxtiva
