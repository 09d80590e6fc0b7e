#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

class QPlainTextEdit;
class QPushButton;

// The help screen: the program's documentation in a resizable window that does not block the main window. "Close"
// only hides it; the close box unloads it, and the next showing loads it afresh.
class frmHelp : public QWidget {
    Q_OBJECT

public:
    // Shows the help screen beside `mainWindow`: loads it when it is not loaded, otherwise shows it as it was left.
    static void ShowHelp(QWidget* mainWindow);
    // The loaded help screen, or nullptr when it is not loaded.
    static frmHelp* instance();

    // Loads the window: places it relative to `mainWindow` and fills in the text. Use ShowHelp to show it.
    explicit frmHelp(QWidget* mainWindow);
    ~frmHelp() override;

    QPlainTextEdit* txbHelpScreen() const { return m_txbHelpScreen; }
    QPushButton* cmdClose() const { return m_cmdClose; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load(QWidget* mainWindow);
    void Form_Resize();
    void cmdClose_Click();

    QPlainTextEdit* m_txbHelpScreen = nullptr;
    QPushButton* m_cmdClose = nullptr;

    static QPointer<frmHelp> s_instance;
};

// Opens the help screen when F1 is released on a watched widget, whatever modifier keys are held. Other keys, and
// widgets not watched, are left alone.
class F1HelpFilter : public QObject {
    Q_OBJECT

public:
    explicit F1HelpFilter(std::function<void()> onF1, QObject* parent = nullptr);

    // Starts watching `widget`'s keys.
    void watch(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_onF1;
};
