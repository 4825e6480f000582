#pragma once

#include <QString>
#include <QUrl>

// The path of a local file URL. "file://localhost/…" names a file on this machine as "file:///…"
// does; Qt reads that host as a network share, which would never match the local folder.
QString localPathOfFileURL(const QUrl &url);
