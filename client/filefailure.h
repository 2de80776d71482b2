#pragma once

#include <QFileDevice>
#include <QString>

namespace velmora {

enum class FileUse { Read, Write };

// Why `file` could not be opened, read or written, in the program's own
// words (causes.h), told from what Qt reports and what is on the disk: the
// system's own texts differ from one system and language to the next.
QString fileFailure(const QFileDevice &file, FileUse use);

} // namespace velmora
