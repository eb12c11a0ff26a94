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

#include <QString>

namespace filever {

void CopyVersionFile(const QString& source, const QString& target);

}  // namespace filever
