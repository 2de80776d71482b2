#include "filefailure.h"

#include "causes.h"

#include <QDir>
#include <QFileInfo>

namespace velmora {

QString fileFailure(const QFileDevice &file, FileUse use)
{
    // Once open, a write fails only where the disk is full or a size limit
    // is reached; Qt reports a short write as no error at all.
    if (file.isOpen())
        return causes::text(use == FileUse::Write ? causes::kDiskRefused : causes::kNotReadable);
    const QFileInfo info(file.fileName());
    if (info.isDir())
        return causes::text(causes::kIsFolder);
    if (use == FileUse::Read)
        return causes::text(info.exists() ? causes::kNotReadable : causes::kNoSuchFile);
    return causes::text(info.dir().exists() ? causes::kNotWritable : causes::kNoFolder);
}

} // namespace velmora
