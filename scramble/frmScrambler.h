#pragma once

#include <QString>
#include <QWidget>
#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The scrambling routines with which the program stores some fixed texts, and the small
// tool window "Scrambler/Unscrambler" for scrambling texts by hand (the program never
// shows it). Characters and codes are related through the Windows-1252 code page.
class frmScrambler : public QWidget {
    Q_OBJECT

public:
    explicit frmScrambler(QWidget* parent = nullptr);

    // The plain text of a scrambled text; empty for an empty or malformed one.
    static QString Unscramble(const QString& text);
    // The scrambled form of a text of 1 to 220 characters, an empty text, or the too-long
    // error text. Asks whether line breaks become blanks; updates this window's boxes and labels.
    QString Scramble(const QString& text);
    // One block of five permuted: p1..p5 becomes p4 p3 p1 p5 p2 (missing positions are skipped).
    static QString ScrambleBlock(const QString& block);
    // The inverse permutation: s1..s5 becomes s3 s5 s2 s1 s4.
    static QString UnscrambleBlock(const QString& block);

    // The program's title, restored from its stored scrambled form.
    static QString ProgramTitle();

private:
    void cmdScramble_Click();
    void cmdUnscramble_Click();
    void cmdCheck_Click();
    void cmdClear_Click(int index);
    void cmdCopyToClipboard_Click(int index);
    void cmdPasteFromClipboard_Click(int index);
    void cmdQuit_Click();

    void buildControls();
    // A box's text exactly as last set, or as typed with CR LF line ends.
    QString boxText(int index) const;
    void setBoxText(int index, const QString& text);
    void takeTypedText(int index);
    void showLength(int index, qsizetype length);

    std::array<QPlainTextEdit*, 3> m_boxes{};
    std::array<QLabel*, 3> m_lengths{};
    std::array<QString, 3> m_texts;
    bool m_settingText = false;
};
