#pragma once

#include <QDialog>
#include <QString>

class QColor;
class QComboBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The folder chooser: a Drive list and a Dir folder list. The caller creates it once, sets
// caption, position and background colour, shows it modally and reads blnAccept and
// currentFolder() after it has been hidden; Accept and Cancel only hide it, so it keeps
// its drive and folder for the next showing.
class frmSpecifyDirectory : public QDialog {
    Q_OBJECT

public:
    explicit frmSpecifyDirectory(QWidget* parent = nullptr);

    // True when the chooser was last closed with Accept.
    bool blnAccept = false;

    // The folder Dir shows as current, in native spelling without a trailing separator (except a root).
    QString currentFolder() const;
    // Makes a folder current in Dir; false, with nothing changed and nothing shown, when it cannot be read.
    bool setCurrentFolder(const QString& folder);
    // The window's background colour.
    void setBackgroundColour(const QColor& colour);
    // Offers one more root in the Drive list (shown as its path) unless it is offered already.
    void addDriveRoot(const QString& root);
    // True when the last hiding came through the window frame (which counts as Cancel).
    bool closedThroughFrame() const { return m_closedThroughFrame; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    // Escape, the frame and Cancel all close without a choice.
    void reject() override;

private:
    void cmdAccept_Click();
    void cmdCancel_Click();
    void Drive_Change(int index);
    void Dir_Open(QTreeWidgetItem* item);

    void buildControls();
    void fillDrives();
    // The Drive entry whose root holds the folder (the longest such root).
    int driveIndexFor(const QString& folder) const;
    // Reads the folder's subfolders and shows it in Dir; on failure leaves Dir as it was and
    // gives the platform's description.
    bool openFolder(const QString& folder, QString* error);
    void showFolder(const QString& folder, const QStringList& subfolders);

    QComboBox* m_drive = nullptr;
    QTreeWidget* m_dir = nullptr;
    QPushButton* m_accept = nullptr;
    QPushButton* m_cancel = nullptr;
    QString m_folder;
    bool m_closedThroughFrame = false;
};
