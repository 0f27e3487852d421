#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// A local file's path as the file system has it: bytes, which need not be UTF-8 (names copied
// from other systems often are Latin-1). A URL carries them percent-encoded, so nothing is lost
// between the command line, a second launch or a drop and the open(); a decoded text, with
// U+FFFD for what is not UTF-8, is only ever shown.
namespace NativePath {

QUrl toUrl(const QByteArray &path);
// The bytes of a local file URL's path; empty for any other URL.
QByteArray fromUrl(const QUrl &url);

} // namespace NativePath
