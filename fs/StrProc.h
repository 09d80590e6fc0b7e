#pragma once

#include <QString>
#include <QStringList>

// Text helpers: the file-name wildcard matcher and small in-place edits.
namespace StrProc {

// True when the file name matches the mask; name and mask are split at their last "."
// and both halves matched with MatchMaskPart. Names holding "?", "*", ":" or "\" never match.
bool MatchesMask(const QString& name, const QString& mask, bool blnCaseSensitive);

// One left-to-right pass of "*" and "?" over the text, without backtracking: a "*" jumps to
// the first occurrence of the next literal character.
bool MatchMaskPart(const QString& text, const QString& pattern, bool blnCaseSensitive);

// Keeps only the digits and at most one leading "+" (and "-" when allowed) of a typed number.
void CleanNumericText(QString& text, bool blnAllowMinus);

// Index of the first of entries 0..n-1 that equals the text exactly, or -1.
int FindInList(const QStringList& list, int n, const QString& text);

// The order in which a folder's files are taken: ordinal over the upper-case form of each
// UTF-16 unit, as the classic platform's file system sorts a folder ("B.bmp" before "a_c.bmp",
// "t10" before "t9"); names equal in that form keep the plain ordinal order.
bool NameOrderLess(const QString& a, const QString& b);

// Removes every occurrence of each character of `chars` from the text.
void RemoveChars(QString& text, const QString& chars);

}  // namespace StrProc
