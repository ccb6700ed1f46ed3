#include "records/durable_append_file.h"
#include "records/journal_writer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>

namespace oxtiva
{
namespace
{

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A plain file where the folder should be: nothing can be created below it, whatever rights
// the test runs with.
class TFolderBlocker
{
  public:
    explicit TFolderBlocker(const QString& folderPath) : fPath(folderPath)
    {
        QFile file(fPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ~TFolderBlocker() { Lift(); }
    void Lift() { QFile::remove(fPath); }

  private:
    QString fPath;
};

// The process may write files up to a size, as a disk with that much room would let it; a
// write across the limit is cut short there, and the next one fails with the cause.
class TFileSizeLimit
{
  public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &fOld);
        fOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = fOld;
        limit.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &fOld);
        std::signal(SIGXFSZ, fOldHandler);
    }

  private:
    rlimit fOld{};
    void (*fOldHandler)(int) = nullptr;
};

// What the disk took of a write cut short stays; the next append adds only the rest.
TEST(DurableAppendFile, AWriteCutShortGoesOnWhereTheDiskStopped)
{
    QTemporaryDir dir;
    TDurableAppendFile file(dir.filePath("Userdata/j.journal"));
    QString error;
    ASSERT_TRUE(file.Append("first line\n", error)) << error.toStdString();
    {
        TFileSizeLimit room(file.DurableLength() + 5);
        EXPECT_FALSE(file.Append("second line that does not fit\n", error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(Contents(file.Path()), "first line\nsecon") << "the disk took part of it";
    }
    EXPECT_EQ(file.DurableLength(), 11);
    ASSERT_TRUE(file.Append("second line that does not fit\n", error)) << error.toStdString();
    EXPECT_EQ(Contents(file.Path()), "first line\nsecond line that does not fit\n");
}

TEST(DurableAppendFile, FolderThatCannotBeWrittenNamesTheCauseAndIsTriedAgain)
{
    QTemporaryDir dir;
    TDurableAppendFile file(dir.filePath("Userdata/j.journal"));
    QString error;
    {
        TFolderBlocker blocker(dir.filePath("Userdata"));
        EXPECT_FALSE(file.Append("a\n", error));
        EXPECT_TRUE(error.contains("Userdata")) << error.toStdString();
    }
    ASSERT_TRUE(file.Append("a\n", error)) << error.toStdString();
    ASSERT_TRUE(file.Append("b\n", error));
    EXPECT_EQ(Contents(file.Path()), "a\nb\n");
}

TEST(DurableAppendFile, FileRemovedWithItsFolderIsNoticed)
{
    QTemporaryDir dir;
    TDurableAppendFile file(dir.filePath("Userdata/j.journal"));
    QString error;
    EXPECT_FALSE(file.Vanished()) << "nothing written yet";
    ASSERT_TRUE(file.Append("a\n", error));
    EXPECT_FALSE(file.Vanished());
    ASSERT_TRUE(QDir(dir.filePath("Userdata")).removeRecursively());
    EXPECT_TRUE(file.Vanished());
    file.Restart();
    ASSERT_TRUE(file.Append("a\nb\n", error)) << error.toStdString();
    EXPECT_EQ(Contents(file.Path()), "a\nb\n");
}

// A shared folder out of reach for a moment (here: the program folder moved away and
// back) makes the journal's path look missing; that is no removal: nothing is truncated or
// written twice, and the rows written meanwhile are all there once it is back.
TEST(JournalWriter, AJournalOutOfReachForAMomentIsNeitherTruncatedNorRewritten)
{
    QTemporaryDir dir;
    const QString program = dir.filePath("program");
    const QString path = program + "/Userdata/j.journal";
    TJournalWriter writer(path);
    writer.Append("row 0\n", 1);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    ASSERT_TRUE(QDir().rename(program, dir.filePath("away")));
    writer.Append("row 1\n", 2);
    writer.WaitUntilWritten(2000);
    EXPECT_FALSE(writer.Status().Vanished);
    ASSERT_TRUE(QDir().rename(dir.filePath("away"), program));
    writer.Append("row 2\n", 3);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    EXPECT_FALSE(writer.Status().Vanished);
    EXPECT_EQ(Contents(path), "row 0\nrow 1\nrow 2\n");
}

TEST(JournalWriter, FailedWritesStayQueuedAndReachTheDiskOnceInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Userdata/j.journal");
    TJournalWriter writer(path);
    {
        TFolderBlocker blocker(dir.filePath("Userdata"));
        writer.Append("row 0\n", 1);
        EXPECT_FALSE(writer.WaitUntilWritten(5000));
        TJournalWriter::TStatus status = writer.Status();
        EXPECT_FALSE(status.Error.isEmpty());
        EXPECT_EQ(status.DurableRows, 0);
        writer.Append("row 1\n", 2); // tried again with the new records
        EXPECT_FALSE(writer.WaitUntilWritten(5000));
        EXPECT_FALSE(QFile::exists(path));
    }
    writer.Retry();
    ASSERT_TRUE(writer.WaitUntilWritten(5000)) << writer.Status().Error.toStdString();
    EXPECT_TRUE(writer.Status().Error.isEmpty());
    EXPECT_EQ(writer.Status().DurableRows, 2);
    writer.Append("row 2\n", 3);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    EXPECT_EQ(Contents(path), "row 0\nrow 1\nrow 2\n");
}

// A new segment takes over only once it is on the disk: until then the old file stays
// whole, with what was queued for it, and appends wait for the new one in order.
TEST(JournalWriter, NewSegmentReplacesTheOldFileOnlyOnceItIsOnTheDisk)
{
    QTemporaryDir dir;
    const QString oldPath = dir.filePath("Userdata/old.journal");
    const QString newPath = dir.filePath("Userdata/next/new.journal");
    TJournalWriter writer(oldPath);
    writer.Append("row 0\nrow 1\n", 2);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    {
        TFolderBlocker blocker(dir.filePath("Userdata/next"));
        writer.Append("saved 2\n", 2);
        writer.StartSegment(newPath, "base 2\n", 2);
        writer.StartSegment(dir.filePath("Userdata/other.journal"), "ignored\n", 2);
        writer.Append("row 2\n", 3);
        EXPECT_FALSE(writer.WaitUntilWritten(5000));
        const TJournalWriter::TStatus status = writer.Status();
        EXPECT_TRUE(status.Cutting);
        EXPECT_FALSE(status.Error.isEmpty());
        EXPECT_EQ(status.DurableRows, 2);
        EXPECT_EQ(writer.Path(), oldPath);
        EXPECT_EQ(Contents(oldPath), "row 0\nrow 1\nsaved 2\n");
    }
    writer.Retry();
    ASSERT_TRUE(writer.WaitUntilWritten(5000)) << writer.Status().Error.toStdString();
    EXPECT_FALSE(writer.Status().Cutting);
    EXPECT_EQ(writer.Path(), newPath);
    EXPECT_FALSE(QFile::exists(oldPath));
    EXPECT_FALSE(QFile::exists(dir.filePath("Userdata/other.journal")));
    writer.Append("row 3\n", 4);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    EXPECT_EQ(writer.Status().DurableRows, 4);
    EXPECT_EQ(Contents(newPath), "base 2\nrow 2\nrow 3\n");
    QString error;
    EXPECT_TRUE(writer.StopAndRemove(error));
    EXPECT_FALSE(QFile::exists(newPath));
}

TEST(JournalWriter, VanishedFileWaitsForEverythingAnew)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Userdata/j.journal");
    TJournalWriter writer(path);
    writer.Append("row 0\n", 1);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    ASSERT_TRUE(QDir(dir.filePath("Userdata")).removeRecursively());
    writer.Append("row 1\n", 2);
    EXPECT_FALSE(writer.WaitUntilWritten(5000));
    EXPECT_TRUE(writer.Status().Vanished);
    writer.Append("ignored until the restart\n", 3);
    writer.Restart();
    writer.Append("row 0\nrow 1\n", 2);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    EXPECT_EQ(Contents(path), "row 0\nrow 1\n");
    EXPECT_FALSE(writer.Status().Vanished);
}

TEST(JournalWriter, StoppingWritesWhatIsQueuedAndRemoveDeletesTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("j.journal");
    {
        TJournalWriter writer(path);
        for (int i = 0; i < 100; ++i)
            writer.Append(QByteArray::number(i) + '\n', i + 1);
    }
    EXPECT_TRUE(Contents(path).endsWith("\n98\n99\n"));
    TJournalWriter writer(path + "2");
    writer.Append("x\n", 1);
    QString error;
    EXPECT_TRUE(writer.StopAndRemove(error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path + "2"));
}

// A small file system of its own, as full as a test makes it: a tmpfs mounted on a
// temporary folder (root only).
class TSmallDisk
{
  public:
    explicit TSmallDisk(const char* size)
    {
        fMounted = ::mount("tmpfs", QFile::encodeName(fDir.path()).constData(), "tmpfs", 0,
                           (QByteArray("size=") + size).constData()) == 0;
    }
    ~TSmallDisk()
    {
        if (fMounted) ::umount2(QFile::encodeName(fDir.path()).constData(), MNT_DETACH);
    }
    bool Mounted() const { return fMounted; }
    QString Path(const char* name) const { return fDir.filePath(name); }
    // Fills the disk but for room bytes.
    void Fill(qint64 room)
    {
        QFile filler(Path("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        filler.close();
        filler.resize(std::max<qint64>(0, filler.size() - room));
    }
    void Free() { QFile::remove(Path("filler")); }

  private:
    QTemporaryDir fDir;
    bool fMounted = false;
};

// Bytes this process has handed to write() so far: the work a full disk costs.
qint64 BytesWritten()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    qint64 value = 0;
    while (io >> key >> value)
        if (key == "wchar:") return value;
    return -1;
}

// A week on a full disk: records keep coming, each retry costs only what is new, the
// retries back off, the cause says the disk is full; once space returns every record
// reaches the disk once, in order.
TEST(JournalWriter, FullDiskCostsBoundedWorkAndLosesNothing)
{
    TSmallDisk disk("256k");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root): no full disk";
    const QString path = disk.Path("j.journal");
    TJournalWriter writer(path);
    writer.Append("head\n", 0);
    ASSERT_TRUE(writer.WaitUntilWritten(5000));
    disk.Fill(8 * 1024);

    QByteArray expected = "head\n";
    const QByteArray backlog(64 * 1024, 'b');
    writer.Append(backlog + '\n', 1);
    expected += backlog + '\n';
    EXPECT_FALSE(writer.WaitUntilWritten(5000));
    const qint64 before = BytesWritten();
    // Three seconds of control-cycle passes, each with a new row.
    for (int pass = 0; pass < 30; ++pass) {
        const QByteArray row = "row " + QByteArray::number(pass) + '\n';
        writer.Append(row, pass + 2);
        expected += row;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const qint64 work = BytesWritten() - before;
    const TJournalWriter::TStatus status = writer.Status();
    EXPECT_TRUE(status.DiskFull);
    EXPECT_EQ(status.Error, "the disk is full");
    EXPECT_EQ(status.DurableRows, 0);
    EXPECT_LT(work, 16 * 1024) << "a retry writes what is new, not the backlog again";

    disk.Free();
    writer.Retry();
    ASSERT_TRUE(writer.WaitUntilWritten(5000)) << writer.Status().Error.toStdString();
    EXPECT_EQ(writer.Status().DurableRows, 31);
    EXPECT_FALSE(writer.Status().DiskFull);
    EXPECT_EQ(Contents(path), expected);
}

} // namespace
} // namespace oxtiva
