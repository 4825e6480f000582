#pragma once

#include <QString>
#include <QUrl>

// The path of a local file URL. "file://localhost/…" names a file on this machine as "file:///…"
// does; Qt reads that host as a network share, which would never match the local folder.
QString localPathOfFileURL(const QUrl &url);

// Whether the URL names a file on this machine: a file URL without a host, or with "localhost".
// "file://otherhost/x" names a file of another machine, never the local "/otherhost/x".
bool isLocalFileURL(const QUrl &url);
