#include "Views/Components/InlineMarkdown.h"

#include <gtest/gtest.h>

namespace {

TEST(InlineMarkdown, CodeSpansLoseTheirBackticksAndEverythingElseIsEscaped)
{
    struct Case {
        const char *text;
        const char *html;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"run `sudo audit -i` now", "run <code>sudo audit -i</code> now"},
        {"`a` and `b`", "<code>a</code> and <code>b</code>"},
        {"x < y & `<b>`", "x &lt; y &amp; <code>&lt;b&gt;</code>"},
        {"one ` left open", "one ` left open"},
        {"`a` then ` open", "<code>a</code> then ` open"},
        {"``", "<code></code>"},
        {"", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(inlineMarkdown(QString::fromUtf8(c.text)), QString::fromUtf8(c.html));
    }
}

} // namespace
