// A file written whole or not at all: the settings file, a captured announcement.
#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file's content by bytes through a temporary file, so a reader never sees
// half of it. False, with the old file kept, when the file cannot be written.
bool WriteWholeFile(const QString &path, const QByteArray &bytes);
