#include "fs/StrProc.h"

#include <algorithm>
#include <string>

namespace StrProc {

namespace {

// Wildcards work on whole characters, so a "?" stands for one letter outside the
// Basic Multilingual Plane too.
std::u32string codePoints(const QString& text) {
    std::u32string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.push_back(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else {
            out.push_back(c.unicode());
        }
    }
    return out;
}

}  // namespace

bool MatchesMask(const QString& name, const QString& mask, bool blnCaseSensitive) {
    for (const QChar c : QStringLiteral("?*:\\")) {
        if (name.contains(c)) {
            return false;
        }
    }
    const qsizetype nameDot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype maskDot = mask.lastIndexOf(QLatin1Char('.'));
    QString namePart, nameExtension, maskPart, maskExtension;
    if (maskDot >= 0 && nameDot >= 0) {
        namePart = name.left(nameDot);
        nameExtension = name.mid(nameDot + 1);
        maskPart = mask.left(maskDot);
        maskExtension = mask.mid(maskDot + 1);
    } else if (maskDot < 0 && nameDot < 0) {
        namePart = name;
        maskPart = mask;
    } else if (maskDot < 0) {
        return false;
    } else {
        // A name without a dot matches a mask whose extension is nothing but stars.
        QString rest = mask.mid(maskDot + 1);
        RemoveChars(rest, QStringLiteral("*"));
        if (!rest.isEmpty()) {
            return false;
        }
        namePart = name;
        maskPart = mask.left(maskDot);
    }
    return MatchMaskPart(namePart, maskPart, blnCaseSensitive) &&
           MatchMaskPart(nameExtension, maskExtension, blnCaseSensitive);
}

bool NameOrderLess(const QString& a, const QString& b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char32_t x = QChar::toUpper(char32_t(a.at(i).unicode()));
        const char32_t y = QChar::toUpper(char32_t(b.at(i).unicode()));
        if (x != y) {
            return x < y;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

bool MatchMaskPart(const QString& text, const QString& pattern, bool blnCaseSensitive) {
    const std::u32string t = codePoints(blnCaseSensitive ? text : text.toLower());
    const std::u32string p = codePoints(blnCaseSensitive ? pattern : pattern.toLower());
    if (t == p) {
        return true;
    }
    if (p.empty()) {
        return false;
    }
    if (t.empty()) {
        return std::all_of(p.begin(), p.end(), [](char32_t c) { return c == U'*'; });
    }
    size_t i = 0;
    size_t j = 0;
    while (true) {
        const bool textLeft = i < t.size();
        if (j >= p.size()) {
            return !textLeft;
        }
        const char32_t pc = p[j];
        if (pc == U'?') {
            if (!textLeft) {
                return false;
            }
            ++i;
            ++j;
        } else if (pc == U'*') {
            // Jump to the first occurrence of the next literal; that choice is never revisited.
            const auto literal = std::find_if(p.begin() + static_cast<std::ptrdiff_t>(j), p.end(),
                                              [](char32_t c) { return c != U'*' && c != U'?'; });
            if (literal == p.end()) {
                return true;
            }
            while (i < t.size() && t[i] != *literal) {
                ++i;
            }
            if (i >= t.size()) {
                return false;
            }
            ++j;
        } else {
            if (!textLeft || t[i] != pc) {
                return false;
            }
            ++i;
            ++j;
        }
    }
}

void CleanNumericText(QString& text, bool blnAllowMinus) {
    bool digitSeen = false;
    bool plusSeen = false;
    bool minusSeen = false;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        bool keep = false;
        if (c == QLatin1Char('+')) {
            keep = !digitSeen && !plusSeen;
            plusSeen = plusSeen || keep;
        } else if (c == QLatin1Char('-')) {
            keep = blnAllowMinus && !digitSeen && !minusSeen;
            minusSeen = minusSeen || keep;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            keep = true;
            digitSeen = true;
        }
        if (keep) {
            ++i;
        } else {
            text.remove(i, 1);
        }
    }
}

int FindInList(const QStringList& list, int n, const QString& text) {
    const qsizetype count = std::min<qsizetype>(n, list.size());
    for (qsizetype i = 0; i < count; ++i) {
        if (list.at(i) == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void RemoveChars(QString& text, const QString& chars) {
    for (qsizetype i = 0; i < chars.size(); ++i) {
        // A surrogate pair is one character: remove the pair, never half of another one.
        const qsizetype length =
            (chars.at(i).isHighSurrogate() && i + 1 < chars.size() && chars.at(i + 1).isLowSurrogate()) ? 2 : 1;
        text.remove(chars.mid(i, length));
        i += length - 1;
    }
}

}  // namespace StrProc
