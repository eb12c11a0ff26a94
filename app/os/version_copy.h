// Storing the copy of a version: the source file is copied to a temporary name in the
// target's directory, forced to disk and then renamed over the target, so the target is
// either the old file or the complete new copy, never a half copy. The copy keeps the
// source's last-write time. Where the file system offers it the data is shared
// (FICLONE) or copied inside the kernel (copy_file_range); otherwise read and written.
//
// Raises tarn::EFOpenError naming the path when the source cannot be opened or the
// temporary file cannot be created (a read-only or missing directory), and
// tarn::EInOutError naming the path for a failed read, write, flush or rename; on any
// error the temporary file is removed and the target is left as it was.
#pragma once

#include <QByteArray>
#include <QString>

namespace filever {

//
// With `flush` false the copy is neither forced to disk nor is its name: the caller
// flushes many copies at once (TFileSystem::SyncFileSystem) before anything names them.
void CopyVersionFile(const QString& source, const QString& target, bool flush = true);

// Putting a stored copy back in place of a watched file, in two steps so that the caller
// can do its own work (capturing the file's current state) after everything that can be
// checked without changing anything has been checked:
//   TVersionRestore restore(copy, target);  // opens the copy, creates the temporary file
//   ...                                      // beside the target (read-only dir: raises)
//   restore.Commit();                        // data, permissions, disk, rename
// The target is replaced atomically: a reader sees the old file or the whole restored one.
// When the target is a symbolic link the file it points to is replaced, the link stays.
// The restored file keeps the target's permission bits (and, where allowed, its owner and
// group); a target that no longer exists is made again with the copy's permission bits.
// It gets the current time as its last-write time: it is a new state of the file.
//
// Errors as CopyVersionFile: EFOpenError when the copy cannot be opened or the temporary
// file cannot be created, EInOutError for a failed read, write, flush or rename. Without
// a successful Commit the temporary file is removed and the target is left as it was.
//
// The same from bytes in memory (a merged text): `contents` takes the place of the copy;
// a target that no longer exists is made with the permission bits 0644.
class TVersionRestore {
public:
    TVersionRestore(const QString& copy, const QString& target);
    struct TContents {
        QByteArray bytes;
    };
    TVersionRestore(const TContents& contents, const QString& target);
    ~TVersionRestore();
    TVersionRestore(const TVersionRestore&) = delete;
    TVersionRestore& operator=(const TVersionRestore&) = delete;

    void Commit();

private:
    // Creates the temporary file beside the target (in_ is open); raises as said above.
    void MakeTemp();

    int in_ = -1;
    int out_ = -1;
    QByteArray copyPath_;    // native bytes
    QByteArray targetPath_;  // native bytes, the link's target when the path is a link
    QByteArray tempPath_;    // native bytes; empty once renamed
};

}  // namespace filever
