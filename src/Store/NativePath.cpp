#include "Store/NativePath.h"

namespace NativePath {

QUrl toUrl(const QByteArray &path)
{
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray fromUrl(const QUrl &url)
{
    if (!url.isLocalFile()) return {};
    // The fully encoded path keeps every byte that is not UTF-8 as its %XX escape.
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (url.host().isEmpty()) return path;
    return "//" + url.host(QUrl::FullyEncoded).toLatin1() + path;
}

} // namespace NativePath
