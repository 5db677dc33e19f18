#include "WholeFile.h"

#include <QSaveFile>

bool WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    // The write is buffered: a full disk or a size limit shows at the flush. Measured with
    // Qt 6.4: commit() after a failed flush still replaces the file, with an empty one, so
    // the flush is checked here and the old file kept.
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}
