#include "Views/Components/InlineMarkdown.h"

QString inlineMarkdown(const QString &text)
{
    QString html;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('`'), at);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('`'), open + 1);
        if (close < 0) {
            html += text.mid(at).toHtmlEscaped();
            break;
        }
        html += text.mid(at, open - at).toHtmlEscaped();
        html += QStringLiteral("<code>") + text.mid(open + 1, close - open - 1).toHtmlEscaped()
                + QStringLiteral("</code>");
        at = close + 1;
    }
    return html;
}
