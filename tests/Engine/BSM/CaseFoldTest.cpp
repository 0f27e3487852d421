#include "Engine/BSM/CaseFold.h"

#include <gtest/gtest.h>

namespace {

TEST(CaseFold, FoldsSingleCodePoints)
{
    struct Case {
        const char *name;
        char32_t from;
        char32_t to;
    };
    const Case cases[] = {
        {"ASCII upper", U'Q', U'q'},
        {"ASCII lower unchanged", U'q', U'q'},
        {"ASCII punctuation unchanged", U'@', U'@'},
        {"Latin-1 A with diaeresis", U'\u00C4', U'\u00E4'},
        {"Latin-1 multiplication sign unchanged", U'\u00D7', U'\u00D7'},
        {"micro sign to Greek mu", U'\u00B5', U'\u03BC'},
        {"Latin Extended-A pair", U'\u0141', U'\u0142'},
        {"Latin Extended-A odd pair", U'\u0179', U'\u017A'},
        {"long s", U'\u017F', U's'},
        {"capital I with dot stays (no one-to-one fold)", U'\u0130', U'\u0130'},
        {"Greek capital sigma", U'\u03A3', U'\u03C3'},
        {"Greek final sigma", U'\u03C2', U'\u03C3'},
        {"Greek accented iota", U'\u038A', U'\u03AF'},
        {"Cyrillic zhe", U'\u0416', U'\u0436'},
        {"Cyrillic io", U'\u0401', U'\u0451'},
        {"Armenian", U'\u0531', U'\u0561'},
        {"capital sharp s to sharp s", U'\u1E9E', U'\u00DF'},
        {"sharp s unchanged", U'\u00DF', U'\u00DF'},
        {"Kelvin sign", U'\u212A', U'k'},
        {"fullwidth A", U'\uFF21', U'\uFF41'},
        {"Deseret, outside the BMP", U'\U00010400', U'\U00010428'},
        {"CJK unchanged", U'\u4E2D', U'\u4E2D'},
        {"last code point unchanged", U'\U0010FFFF', U'\U0010FFFF'},
    };
    for (const Case &c : cases) EXPECT_EQ(CaseFold::fold(c.from), c.to) << c.name;
}

TEST(CaseFold, NeedleFindsFoldedText)
{
    struct Case {
        const char *name;
        const char *query;
        const char *text;
        bool found;
    };
    const Case cases[] = {
        {"ASCII, any case", "SSH", "/usr/bin/ssh", true},
        {"ASCII at the very end", "sh", "/bin/sh", true},
        {"ASCII longer than the text", "/bin/shell", "/bin/sh", false},
        {"ASCII absent", "zsh", "/bin/bash", false},
        {"empty query", "", "anything", false},
        {"empty query, empty text", "", "", false},
        {"empty text", "a", "", false},
        {"German umlaut", "\u00C4RGER", "\u00E4rger.txt", true},
        {"umlaut in a lower-case query", "\u00E4", "/Users/J\u00C4GER", true},
        {"Greek", "\u03A3\u039F\u03A6\u0399\u0391", "/tmp/\u03C3\u03BF\u03C6\u03B9\u03B1", true},
        {"Greek final sigma", "\u039F\u03A3", "\u03BB\u03CC\u03B3\u03BF\u03C2", true},
        {"Cyrillic", "\u0416\u0423\u0420\u041D\u0410\u041B", "/var/\u0436\u0443\u0440\u043D\u0430\u043B", true},
        {"Latin extended", "\u0141\u00D3D\u0179", "\u0142\u00F3d\u017A", true},
        {"ASCII query, Kelvin sign in the text", "kernel", "\u212Aernel", true},
        {"Kelvin sign in the query, ASCII text", "\u212Aernel", "KERNEL", true},
        {"non-ASCII query, ASCII text", "\u00E4", "a", false},
        {"accent is not ignored", "a", "\u00E4", false},
        {"ASCII after ill-formed bytes", "ssh", "\xff\xfe/bin/SSH", true},
        {"ill-formed bytes read as replacement characters", "\xff", "a\xc3z", true},
        {"replacement character finds an ill-formed byte", "\uFFFD", "x\x80y", true},
        {"no match inside a multi-byte character", "\xa4", "\u00E4", false},
    };
    for (const Case &c : cases) EXPECT_EQ(CaseFold::Needle(c.query).foundIn(c.text), c.found) << c.name;
}

} // namespace
